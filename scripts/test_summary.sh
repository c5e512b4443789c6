#!/bin/sh
# The account at the end of a test run, from CTest's JUnit report:
#   test_summary.sh RESULTS.xml
# how many tests ran, passed, failed and were skipped, and the reasons of the
# skips, grouped (no wine, no 32-bit programs on this machine, no display, ...).
results="$1"
[ -f "$results" ] || { echo "no test results at $results"; exit 1; }
awk '
  function reason(text,   t) {
    t = tolower(text)
    if (t ~ /no 32-bit programs|exec format error/) return "no 32-bit programs on this machine"
    if (t ~ /no display|xvfb/) return "no display"
    if (t ~ /no wine|wine is not installed|wine loader/) return "no wine"
    if (t ~ /not built|no mingw/) return "not built here (no mingw-w64)"
    if (t ~ /port|5905/) return "the variable service port is taken"
    return "other: " substr(text, 1, 100)
  }
  # One test case per <testcase ...> ... </testcase>; its status and output.
  /<testcase / {
    incase = 1; name = $0; sub(/.*name="/, "", name); sub(/".*/, "", name)
    st = $0; sub(/.*status="/, "", st); sub(/".*/, "", st)
    out = ""; skipmsg = ""; failed = 0
  }
  incase && /<failure/ { failed = 1 }
  incase && /<skipped/ { m = $0; if (m ~ /message="/) { sub(/.*message="/, "", m); sub(/".*/, "", m); skipmsg = m } }
  incase && !/<testcase / { out = out "\n" $0 }
  /<\/testcase>/ {
    incase = 0; total++
    if (st == "fail" || failed) { nfail++; next }
    if (st == "notrun" || st == "disabled") {
      nskip++
      # The reason: the line after the "...: Skipped" of GoogleTest, else the last
      # line of the output that says why, else the message of CTest.
      why = ""; n = split(out, lines, "\n")
      for (i = 1; i <= n; i++) {
        l = lines[i]; gsub(/&quot;/, "\"", l); gsub(/&apos;/, "\047", l); gsub(/&lt;/, "<", l); gsub(/&gt;/, ">", l); gsub(/&amp;/, "\\&", l)
        lines[i] = l
      }
      for (i = 1; i < n && why == ""; i++) if (lines[i] ~ /: Skipped$/) why = lines[i + 1]
      for (i = 1; i <= n && why == ""; i++)
        if (lines[i] !~ /^\[/ && tolower(lines[i]) ~ /skip|no display|no wine|no 32-bit|not built|not installed/) why = lines[i]
      if (why == "") why = skipmsg
      r = reason(why); count[r]++
      if (!(r in example)) example[r] = name
      next
    }
    npass++
  }
  END {
    printf "\nTest account: %d ran, %d passed, %d failed, %d skipped\n", total - nskip, npass, nfail, nskip
    for (r in count) printf "  skipped %d: %s (for example %s)\n", count[r], r, example[r]
    printf "%d passed, %d failed, %d skipped\n", npass, nfail, nskip
  }
' "$results"

#pragma once
// The about window (TfAbout): the program's icon, name, version and what it
// does, with an OK button; shown modally over the main window.
#include "gui/win32/form.h"

namespace vs::win32 {

class AboutWindow : public Form {
public:
    explicit AboutWindow(HWND owner);
    ~AboutWindow() override;
    void runModal();

protected:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    HWND owner_;
    HICON icon_ = nullptr;
    bool done_ = false;
};

}  // namespace vs::win32

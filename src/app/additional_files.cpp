// The list of additional files on the Files page.
#include "app/generator_model.h"
#include "platform/ascii.h"
#include "platform/stream.h"

namespace vs {

namespace {

// Where the folder part of a full name ends: after its last separator.
std::size_t FolderEnd(const std::string& name) {
#ifdef _WIN32
    const std::size_t cut = name.find_last_of("\\/:");
#else
    const std::size_t cut = name.find_last_of('/');
#endif
    return cut == std::string::npos ? 0 : cut + 1;
}

constexpr const char* kRefused = ": The file wasn't found, or a file with the same name is already listed.";

}  // namespace

void TfVexelSCREENModel::AddAddFiles(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const std::size_t cut = FolderEnd(name);
        const std::string file = name.substr(cut);
        bool listed = false;
        for (const FileListView::Item& item : lvAddFiles.items) listed = listed || SameText(item.caption, file);
        if (!FileExists(name) || listed) {
            ui_.warning(name + kRefused);
            continue;
        }
        FileListView::Item item;
        item.caption = file;
        item.folder = name.substr(0, cut);
        item.fullPath = name;
        item.imageIndex = AddAddIcon(name);
        lvAddFiles.items.push_back(std::move(item));
    }
}

int TfVexelSCREENModel::AddAddIcon(const std::string& fileName) { return AddFilesIcons.add(shell_.smallIcon(fileName)); }

void TfVexelSCREENModel::sbAddAddFilesClick() {
    FileDialog dialog;
    dialog.mustExist = true;
    std::vector<std::string> names = ui_.openFileNames(dialog);
    if (!names.empty()) AddAddFiles(names);
}

void TfVexelSCREENModel::paAddFilesFileDropped(const std::string& fileName) { AddAddFiles({fileName}); }

void TfVexelSCREENModel::sbRemoveAddFileClick() {
    std::erase_if(lvAddFiles.items, [](const FileListView::Item& item) { return item.selected; });
}

}  // namespace vs

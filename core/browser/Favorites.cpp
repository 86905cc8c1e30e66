#include "browser/Favorites.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Text.h"

namespace tvx {

namespace {

// One item of a folder listing with what the two passes need to know of it.
struct ListedItem {
    std::string name;
    bool file = false;    // a regular file, or a link to one
    bool folder = false;  // a folder, or a link to one
};

// The identity of a folder, to recognise one that is already being scanned.
struct FolderId {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId&) const = default;
};

// Lists a folder in the order the file system returns its items; false when
// it cannot be listed. Items whose type cannot be found (a dangling link, for
// example) are listed as neither file nor folder.
bool ListFolder(const std::string& path, std::vector<ListedItem>& items) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
        return false;
    const int fd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        ListedItem item;
        item.name = entry->d_name;
        struct stat st;
        if (fstatat(fd, entry->d_name, &st, 0) == 0) {
            item.file = S_ISREG(st.st_mode);
            item.folder = S_ISDIR(st.st_mode);
        }
        items.push_back(std::move(item));
    }
    closedir(dir);
    return true;
}

bool IsShortcutName(std::string_view name) {
    return name.size() >= 4 && name.front() != '.' && name.substr(name.size() - 4) == ".url";
}

// The "URL" value of a shortcut file, cut to kFavoriteAddressMax characters;
// empty when the key is missing or the file cannot be read.
std::string ReadShortcutAddress(const std::string& file) {
    std::string address;
    if (ToNativePath(file) == file) {
        address = GetPrivateProfileString("InternetShortcut", "URL", "", file);
    } else {
        // The profile reader takes the old platform's path texts and would
        // turn a '\' in a native name into a separator. The file is opened
        // here instead and handed over by its descriptor's name.
        const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return address;
        address = GetPrivateProfileString("InternetShortcut", "URL", "",
                                          "/proc/self/fd/" + std::to_string(fd));
        close(fd);
    }
    if (address.size() > kFavoriteAddressMax)
        address.resize(kFavoriteAddressMax);
    return address;
}

void StoreAddress(std::vector<std::string>& addresses, int index, std::string address) {
    if (addresses.size() <= static_cast<std::size_t>(index))
        addresses.resize(static_cast<std::size_t>(index) + 1);
    addresses[static_cast<std::size_t>(index)] = std::move(address);
}

int ScanFolder(const std::string& path, int start, FavoritesMenu& menu,
               std::vector<std::string>& addresses, std::vector<FolderId>& scanning) {
    if (path.empty())
        return start;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return start;
    const FolderId id{st.st_dev, st.st_ino};
    if (std::find(scanning.begin(), scanning.end(), id) != scanning.end())
        return start;

    std::vector<ListedItem> listing;
    if (!ListFolder(path, listing))
        return start;
    const std::string base = path.back() == '/' ? path : path + '/';

    // First pass: the folder's own shortcuts, kept sorted by label; an equal
    // label goes behind the ones already there.
    std::vector<std::string> labels;
    std::vector<std::string> folderAddresses;
    const auto greater = [](const std::string& label, const std::string& placed) {
        return CompareNoCase(placed, label) > 0;
    };
    for (const ListedItem& item : listing) {
        if (!item.file || !IsShortcutName(item.name))
            continue;
        std::string label = item.name.substr(0, item.name.size() - 4);
        const auto at = std::upper_bound(labels.begin(), labels.end(), label, greater);
        const auto offset = at - labels.begin();
        labels.insert(at, std::move(label));
        folderAddresses.insert(folderAddresses.begin() + offset,
                               ReadShortcutAddress(base + item.name));
    }
    int end = start;
    for (std::size_t i = 0; i < labels.size(); ++i, ++end) {
        StoreAddress(addresses, end, std::move(folderAddresses[i]));
        menu.items.push_back({std::move(labels[i]), kFavoritesFirstCommand + end, nullptr});
    }

    // Second pass: sub-folders in listing order, each taking the indices after
    // the ones used so far; the submenus are kept sorted at the top.
    scanning.push_back(id);
    std::vector<std::string> placed;
    for (const ListedItem& item : listing) {
        if (!item.folder || item.name == "." || item.name == "..")
            continue;
        auto submenu = std::make_unique<FavoritesMenu>();
        const int newEnd = ScanFolder(base + item.name, end, *submenu, addresses, scanning);
        if (newEnd == end)
            continue;
        const auto at = std::upper_bound(placed.begin(), placed.end(), item.name, greater);
        const auto position = at - placed.begin();
        placed.insert(at, item.name);
        menu.items.insert(menu.items.begin() + position, {item.name, 0, std::move(submenu)});
        end = newEnd;
    }
    scanning.pop_back();
    return end;
}

}  // namespace

std::string FavoritesFolder() {
    const char* favorites = std::getenv("TVX_FAVORITES");
    if (favorites != nullptr && *favorites != '\0')
        return favorites;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return std::string();
    return std::string(home) + "/Favorites";
}

int ScanFavoritesFolder(const std::string& path, int start, FavoritesMenu& menu,
                        std::vector<std::string>& addresses) {
    std::vector<FolderId> scanning;
    return ScanFolder(path, start, menu, addresses, scanning);
}

}  // namespace tvx

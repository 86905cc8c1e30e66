#pragma once
// The Favorites menu: the user's Favorites folder, with all its sub-folders,
// turned into a tree of menu entries and submenus. Every shortcut file becomes
// an entry whose command is kFavoritesFirstCommand plus its index, and the
// index also names the entry's address in the list of addresses. The tree is
// built once; the front end turns it into its own menus.

#include <memory>
#include <string>
#include <vector>

namespace tvx {

// The commands handled for favorites: index 0 to 511. Entries with a higher
// index still get kFavoritesFirstCommand + index, which lies above the range;
// the front end shows those disabled.
constexpr int kFavoritesFirstCommand = 3584;
constexpr int kFavoritesLastCommand = 4095;

// The address of a shortcut is cut to this many characters.
constexpr std::size_t kFavoriteAddressMax = 2047;

struct FavoritesMenu {
    struct Item {
        std::string label;
        int command = 0;                         // kFavoritesFirstCommand + index; 0 for a submenu
        std::unique_ptr<FavoritesMenu> submenu;  // non-null for a submenu
    };
    std::vector<Item> items;  // in menu order
};

// The Favorites folder of this desktop: $TVX_FAVORITES when it is set and not
// empty, otherwise $HOME/Favorites; the empty text when HOME is unset or empty.
std::string FavoritesFolder();

// Scans the folder at the native path and fills menu with its favorites;
// returns the index after the last one used (start when the folder yields
// nothing). The address of index i is stored at addresses[i], the vector
// growing as needed; indices below start are left alone.
//
// First pass: every regular file (a symbolic link counts as what it points to)
// whose name does not begin with '.' (hidden) and ends in exactly ".url" (case
// counts, so ".URL" does not) becomes an entry labelled with its name without
// the last four characters. Its address is the value of "URL" in section
// "InternetShortcut", at most kFavoriteAddressMax characters, empty when the
// key is missing or the file unreadable. The folder's entries take the indices
// start, start+1, ... in label order (letters A-Z folded to a-z, then bytes
// compared as unsigned; equal labels keep the order of the listing) and are
// appended to menu in that order.
//
// Second pass: every sub-folder other than "." and "..", hidden ones
// included, in the order of the listing, is scanned the same way with the next
// free index. A sub-folder that yields at least one entry, directly or deeper,
// becomes a submenu labelled with its name, inserted at the position (counted
// from the top of menu) that keeps the submenus placed so far sorted by name;
// so submenus come first, sorted, followed by the entries. One that yields
// nothing is dropped and uses no index. Sub-folders thus take their indices in
// listing order, not in menu order.
//
// Symbolic links to folders are followed, except a link to a folder that is
// already being scanned further up (the same device and inode): such a link
// would repeat the tree without end and yields nothing. A folder that cannot
// be listed, and the empty path, yield nothing; the scan of the rest goes on.
int ScanFavoritesFolder(const std::string& path, int start, FavoritesMenu& menu,
                        std::vector<std::string>& addresses);

}  // namespace tvx

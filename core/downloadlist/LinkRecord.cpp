#include "downloadlist/LinkRecord.h"

#include <type_traits>

namespace tvx {

static_assert(std::is_trivially_copyable_v<LinkRecord>, "records are copied whole");

LinkTable g_linkTable;

}  // namespace tvx

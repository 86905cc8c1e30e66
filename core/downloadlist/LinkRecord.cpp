#include "downloadlist/LinkRecord.h"

namespace tvx {

LinkTable g_linkTable;

}  // namespace tvx

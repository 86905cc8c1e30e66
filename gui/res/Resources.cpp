#include "res/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must run outside any namespace.
static void RegisterTvxResources() {
    Q_INIT_RESOURCE(tvx);
}

void InitResources() {
    static const bool registered = (RegisterTvxResources(), true);
    (void)registered;
}

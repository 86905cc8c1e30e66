#pragma once
// Registers the program's built-in resources (the start page, the icon, the
// pictures). The resources live in a static library, so they are registered
// explicitly, once, before the first use.
void InitResources();

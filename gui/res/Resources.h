#pragma once
// Registers the program's built-in resources (the start page, the icon). The
// resources live in a static library, so they are registered explicitly,
// once, before the first use.
void InitResources();

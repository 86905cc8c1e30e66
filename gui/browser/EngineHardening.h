#pragma once
// The browser engine's exposure to the open web. The engine this program is
// built with gets no security updates from the distribution, so by default
// it runs with the parts that most attacks go through turned off: V8's JIT
// (and with it WebAssembly), WebGL and the GPU process, plugins and the PDF
// viewer (a PDF is offered for download instead), autoplay, and cookies of
// third parties. "[Browser] Hardened=0" in download.ini gives the engine its
// own defaults back, for sites one trusts.

#include <QString>

class QWebEngineProfile;

// Reads the setting (once) and, the first time, gives the engine its
// command-line flags; must run before the engine starts (before the first
// profile is used). Returns whether browsing is hardened.
bool PrepareBrowserEngine();

// Applies the hardened settings to a profile (nothing when not hardened).
void HardenProfile(QWebEngineProfile* profile);

// "Qt WebEngine 6.4.2 (Chromium 102.0.5005.177)".
QString EngineVersion();

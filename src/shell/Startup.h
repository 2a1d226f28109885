#pragma once

#include "catalogue/DbfLoader.h"

#include <exception>
#include <functional>

namespace vestor {

// Installs Qt's own texts in Russian (standard buttons, context menus, the
// file dialog), compiled into the program. Returns whether they are in
// place; calling it again does nothing more.
bool loadToolkitTexts();

// What a start behind the splash came to.
struct SplashStart {
    bool closeRequested = false; // the splash was asked to close: end once started
    std::exception_ptr failure;  // the load's error, to show now that the splash is gone
};

// Shows the splash and runs `load` on a worker thread meanwhile, so the
// splash keeps animating and answering the desktop. The splash stays at
// least `splashMs` and until the load has finished; a load that outlasts
// `splashMs` shows its progress along the splash's bottom edge. `load` is
// handed a progress hook that may be called on its thread. Returns once the
// splash is gone.
using SplashLoad = std::function<void(const LoadProgress &progress)>;
SplashStart loadBehindSplash(int splashMs, const SplashLoad &load);

} // namespace vestor

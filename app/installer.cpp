#include "app/installer.h"

namespace elvara {

Installer::~Installer()
{
    if (worker.joinable()) worker.join();
    licenceFont.reset();
    backgroundBrush.reset();
    resultText.clear();
    canvas.reset();
}

} // namespace elvara

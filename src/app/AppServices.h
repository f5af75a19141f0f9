#pragma once

#include <QString>

#include <functional>

namespace pelmora {

class Clock;
class MessageBoxes;

// What the windows are given from outside: where DATA lives, how message
// boxes are shown, the clock, and how the program ends.
struct AppServices {
    QString dataFolder;
    MessageBoxes *messages = nullptr;
    const Clock *clock = nullptr;
    std::function<void()> endProgram;
};

} // namespace pelmora

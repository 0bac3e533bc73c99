// The mouse message numbers of the notification area: the shell posts each
// to an icon's message window as the horizontal position of a mouse move,
// and the icon control reads it back from there.
#pragma once

namespace shell::mouse {

constexpr int Move = 0x200;
constexpr int LeftDown = 0x201, LeftUp = 0x202, LeftDouble = 0x203;
constexpr int RightDown = 0x204, RightUp = 0x205, RightDouble = 0x206;
constexpr int MiddleDown = 0x207, MiddleUp = 0x208, MiddleDouble = 0x209;

} // namespace shell::mouse

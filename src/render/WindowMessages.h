#pragma once

// Key-state flags and size kinds of the window-message handlers, with their
// traditional values. The control and the dialogs that forward input to it
// translate Qt's events into these.
constexpr unsigned MK_LBUTTON = 0x0001;
constexpr unsigned MK_SHIFT = 0x0004;

constexpr unsigned SIZE_RESTORED = 0;
constexpr unsigned SIZE_MINIMIZED = 1;
constexpr unsigned SIZE_MAXIMIZED = 2;

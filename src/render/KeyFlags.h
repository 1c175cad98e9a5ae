#pragma once

#include "render/WindowMessages.h"

#include <QtCore/qnamespace.h>

// The key flags the view's mouse handlers take, from Qt's buttons and
// modifiers. Used by the view's own window and by the dialog that forwards
// its input.
inline unsigned keyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    unsigned flags = 0;
    if (buttons & Qt::LeftButton) {
        flags |= MK_LBUTTON;
    }
    if (modifiers & Qt::ShiftModifier) {
        flags |= MK_SHIFT;
    }
    return flags;
}

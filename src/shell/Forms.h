#pragma once

#include <QFont>
#include <QList>
#include <QPixmap>

namespace vestor {

// What the main window and the splash share: their font, the pictures
// compiled into the program, and the turning emblem.

// A narrow sans at 10 pixels, so every caption fits the width its label has.
QFont formFont();

// Makes the compiled-in pictures available (they live in a static library).
void loadPictures();

// The ten frames of the emblem turning once, indexed 0..9.
QList<QPixmap> emblemFrames();

inline constexpr int kEmblemInterval = 150; // ms per tick

// One tick of the emblem's 11-tick cycle: frames 0..9 in turn, then a tick
// that changes nothing, so the last frame stays twice as long. Returns the
// frame to show, or -1 on the tick that changes nothing.
int emblemTick(int &counter);

} // namespace vestor

// The "SPLASH" picture: a JPEG of our own compiled into the program as a Qt resource and
// decoded with libjpeg (not Qt's image plugins), shown by the splash window and About.
#pragma once

#include <QByteArray>
#include <QImage>

namespace clipvane {

// Decodes a baseline or progressive JPEG (grey or colour) into a 32-bit picture; throws
// EClipvaneError for data that is not a JPEG or is cut short.
QImage DecodeJpeg(const QByteArray& data);

// The raw JPEG bytes of the resource.
QByteArray SplashJpegData();

// The decoded splash picture.
QImage LoadSplashPicture();

}  // namespace clipvane

#pragma once
// Decoding the About box's picture with libjpeg.
#include <QByteArray>
#include <QImage>

// The JPEG in data as an RGB image; a null image when the data is not a JPEG
// that decodes cleanly. A broken picture never ends the program.
QImage DecodeJpeg(const QByteArray &data);

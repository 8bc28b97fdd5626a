#pragma once
// Files the tests write: bytes to a path given as bytes, and 16-bit PCM WAVs
// down to the sample. Qt Core only, so the media tests use them without widgets.
#include <QByteArray>
#include <cstdint>
#include <vector>

// Writes bytes to a path given as bytes (names need not be UTF-8).
bool WriteBytes(const QByteArray &path, const QByteArray &content);
// Reads a whole file, or a null array when it can't be read.
QByteArray ReadBytes(const QByteArray &path);

// Interleaved frames of a sine, channel c at (c + 1) times the frequency.
std::vector<std::int16_t> Tone(int rate, int channels, int frames, double freq, double amp);
// A 16-bit WAV; with a channel mask, in the WAVE_FORMAT_EXTENSIBLE form that names the layout.
QByteArray WavBytes(int rate, int channels, const std::vector<std::int16_t> &samples, std::uint32_t mask = 0);
// A WAV of the given length: a quiet 440 Hz sine, so a gain shows in the samples.
QByteArray MakeWav(std::uint32_t milliseconds, int rate = 8000, int channels = 1);

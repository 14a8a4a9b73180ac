#pragma once
// What the fuzz targets share: a quiet Qt set up once, and the input as a file (the GIF and
// video readers take paths). One fuzzing thread per process.

#include <QString>
#include <cstddef>
#include <cstdint>

// Sets up once what every target needs (a QGuiApplication for Qt's image plugins, no Qt
// warnings on stderr).
void PrepareFuzzTarget();

// Writes the input to this process's scratch file, named with `suffix`, and answers its path.
QString InputAsFile(const uint8_t* data, size_t size, const char* suffix);

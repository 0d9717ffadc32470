#pragma once
// The plug-in's version, kept here only: the version dialog, the version
// resource and the release's file name all read it from this file.
#define HUESCOPE_VERSION_MAJOR 1
#define HUESCOPE_VERSION_MINOR 1

#define HUESCOPE_STRINGIFY_(x) #x
#define HUESCOPE_STRINGIFY(x) HUESCOPE_STRINGIFY_(x)
#define HUESCOPE_VERSION_TEXT \
    HUESCOPE_STRINGIFY(HUESCOPE_VERSION_MAJOR) "." HUESCOPE_STRINGIFY(HUESCOPE_VERSION_MINOR)

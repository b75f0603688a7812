#include "config/imaging_parameters.h"

namespace orvix::config::internal {
namespace {

// The test videos are machine-wide data shared by every harness run, so they sit in the
// same agent folder as on Windows, below the layer's fixed ProgramData root of this
// platform. The path is absolute because the harness is started from anywhere (its
// output, by contrast, goes to the working directory). The record is initialised before
// anything runs, so $PROGRAMDATA cannot move it; a file names another folder.
constexpr ImagingParameters platform_defaults() {
    constexpr char kInputFolder[] = "/var/lib/orvix/ProgramData/Quillon/OrvixAgent/imaging/";
    ImagingParameters p;
    for (size_t i = 0; i < sizeof kInputFolder; ++i) p.InputFolder[i] = kInputFolder[i];
    return p;
}

}  // namespace

constinit ImagingParameters g_imaging_parameters = platform_defaults();
constinit const ImagingParameters kImagingParameterDefaults = platform_defaults();

}  // namespace orvix::config::internal

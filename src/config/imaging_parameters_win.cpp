#include "config/imaging_parameters.h"

namespace orvix::config::internal {
namespace {

// The test videos are machine-wide data shared by every harness run, so they sit in the
// agent's own folder under ProgramData rather than in a user's profile. The path is
// absolute because the harness is started from anywhere (its output, by contrast, goes
// to the working directory). The record is initialised before anything runs, so this is
// the fixed root, not the known folder looked up at run time.
constexpr ImagingParameters platform_defaults() {
    constexpr char kInputFolder[] = "C:\\ProgramData\\Quillon\\OrvixAgent\\imaging\\";
    ImagingParameters p;
    for (size_t i = 0; i < sizeof kInputFolder; ++i) p.InputFolder[i] = kInputFolder[i];
    return p;
}

}  // namespace

constinit ImagingParameters g_imaging_parameters = platform_defaults();
constinit const ImagingParameters kImagingParameterDefaults = platform_defaults();

}  // namespace orvix::config::internal

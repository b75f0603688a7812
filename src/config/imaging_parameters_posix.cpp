#include "config/imaging_parameters.h"

namespace orvix::config::internal {

// The test videos are machine-wide data shared by every harness run, so they sit in the
// same agent folder as on Windows, below the layer's fixed ProgramData root of this
// platform. The path is absolute because the harness is started from anywhere (its
// output, by contrast, goes to the working directory). The record is initialised before
// anything runs, so $PROGRAMDATA cannot move it; a file names another folder.
constexpr char kInputFolder[] = "/var/lib/orvix/ProgramData/Quillon/OrvixAgent/imaging/";
constinit ImagingParameters g_imaging_parameters = imaging_defaults_with_input_folder(kInputFolder);
constinit const ImagingParameters kImagingParameterDefaults = imaging_defaults_with_input_folder(kInputFolder);

}  // namespace orvix::config::internal

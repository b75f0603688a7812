#include "config/imaging_parameters.h"

namespace orvix::config::internal {

// The test videos are machine-wide data shared by every harness run, so they sit in the
// agent's own folder under ProgramData rather than in a user's profile. The path is
// absolute because the harness is started from anywhere (its output, by contrast, goes
// to the working directory). The record is initialised before anything runs, so this is
// the fixed root, not the known folder looked up at run time.
constexpr char kInputFolder[] = "C:\\ProgramData\\Quillon\\OrvixAgent\\imaging\\";
constinit ImagingParameters g_imaging_parameters = imaging_defaults_with_input_folder(kInputFolder);
constinit const ImagingParameters kImagingParameterDefaults = imaging_defaults_with_input_folder(kInputFolder);

}  // namespace orvix::config::internal

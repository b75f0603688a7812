// The imaging test parameters: input and output folders, test video files, frame ranges,
// encoder tuning values and feature switches that an imaging test harness uses instead of
// the agent settings store. The values live in one process-wide record,
// g_imaging_parameters, statically initialised with the defaults, so imaging code that
// links the layer reads a field directly (g_imaging_parameters.NumDisplays). Code that
// knows a parameter only by its name reads it through the table below.
//
// The imaging settings source (config/settings_for_imaging.h) writes the record while
// the test configuration manager loads its file; nothing else writes it. There is no
// lock: read the parameters after the load, not during it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvix::config::internal {

inline constexpr size_t kImagingTextSize = 512;  // at most 511 characters and the NUL
inline constexpr size_t kImagingDisplays = 4;    // one element per display

// Field names are the parameter names. StartFrame, EndFrame and NumOfFrame without an
// index name element 0 of their arrays. Numbers are signed 32-bit, flags 0 or 1.
struct ImagingParameters {
    char InputFolder[kImagingTextSize] = {};  // set per platform where the record is defined
    char OutputFolder[kImagingTextSize] = ".\\";
    char TestName[kImagingTextSize] = "test1";
    int32_t enable_logging = 1;
    int32_t log_to_stdio = 1;
    int32_t log_to_file = 0;
    int32_t log_level = 2;
    int32_t NumDisplays = 1;
    int32_t use_tsc_for_svga_input = 0;
    int32_t tsc_frame_rate = 24;
    char HostVideo[kImagingDisplays][kImagingTextSize] = {"menu-ref2.tsc", "h2.tsc", "h3.tsc", "h4.tsc"};
    char ClientVideo[kImagingDisplays][kImagingTextSize] = {"c1.tsc", "c2.tsc", "c3.tsc", "c4.tsc"};
    int32_t StartFrame[kImagingDisplays] = {0, 0, 0, 0};
    int32_t EndFrame[kImagingDisplays] = {0, 0, 0, 0};
    int32_t NumOfFrame[kImagingDisplays] = {3000, 0, 0, 0};
    int32_t vorn_video_mode = 3;
    int32_t use_cpu_bw_qual_control = 1;
    int32_t enable_build_to_lossless = 1;
    int32_t enable_progressive_build = 1;
    int32_t build_to_lossless_target_sec = 10;
    int32_t maximum_initial_image_quality = 90;
    int32_t minimum_image_quality = 50;
    int32_t maximum_frame_rate = 30;
    int32_t frame_rate_vs_quality_factor = 50;
    int32_t ly_text_type = 1;
    int32_t enable_ly_text = 0;
    int32_t enable_probe_encode = 0;
    int32_t enable_reset_to_lossless = 1;
    int32_t early_exit_ls_min_bg_count = 30;
    int32_t max_bg_count = 12;
    int32_t early_exit_ls_max_color_count = 10;
    int32_t early_exit_ls_low_color_count = 4;
    int32_t early_exit_ly_too_many_clrs = 38;
    int32_t no_bound_solid_bg_count = 30;
    int32_t no_bound_bg_with_txt_count = 2;
    int32_t no_bound_some_bg_count = 4;
    int32_t no_bound_txt_count = 8;
    int32_t no_bound_too_many_clrs = 24;
    int32_t no_bound_very_few_clrs = 12;
    int32_t no_bound_txt_3_ee_peak = 64;
    int32_t no_bound_txt_3_nee_peak = 256;
    int32_t no_bound_txt_5_ee_peak = 64;
    int32_t no_bound_txt_5_nee_peak = 65535;  // above its maximum of 4096: a file can only lower it
    int32_t decomp_decision_score_threshold = 15;
    int32_t fast_change_decomp_delta = 10;
    int32_t max_lossy_bpp_per_mb = 11;
    int32_t pictureBaseQuality = 15;
    int32_t objectBaseQuality = 14;
    int32_t desiredQuality = 15;
    int32_t delayedPicBaseQuality = 14;
    int32_t delayedObjBaseQuality = 14;
    int32_t baseQualityIncrement = 4;
    int32_t desiredQualityIncrement = 4;
    int32_t losslessBuildIncrement = 4;
    int32_t lossyBuildDelay = 0;
    int32_t serverLossyBuildDelay = 0;
    int32_t serverLossyMECBuildDelay = 0;
    int32_t serverLossyDecimateBuildDelay = 4;
    int32_t lossyPixelTypes = 0;
    int32_t mec_disable = 0;
    int32_t mec_motion_map_test_run = 0;
    char mec_motion_map_file[kImagingTextSize] = "test_motion_map.txt";
    int32_t transform_settings = 1;
    int32_t bias = 0;
    int32_t chroma_ll_max = 0;
    int32_t chroma_ll_shift = 0;
    int32_t chroma_max = 0;
    int32_t luma_ll_max = 0;
    int32_t luma_ll_shift = 0;
    int32_t luma_max = 0;
    int32_t chromaHH_0 = 0;
    int32_t chromaHH_1 = 0;
    int32_t chromaHH_2 = 0;
    int32_t chromaHH_3 = 0;
    int32_t chromaHL_0 = 0;
    int32_t chromaHL_1 = 0;
    int32_t chromaHL_2 = 0;
    int32_t chromaHL_3 = 0;
    int32_t chromaLH_0 = 0;
    int32_t chromaLH_1 = 0;
    int32_t chromaLH_2 = 0;
    int32_t chromaLH_3 = 0;
    int32_t chromaLL = 0;
    int32_t lumaHH_0 = 0;
    int32_t lumaHH_1 = 0;
    int32_t lumaHH_2 = 0;
    int32_t lumaHH_3 = 0;
    int32_t lumaHL_0 = 0;
    int32_t lumaHL_1 = 0;
    int32_t lumaHL_2 = 0;
    int32_t lumaHL_3 = 0;
    int32_t lumaLH_0 = 0;
    int32_t lumaLH_1 = 0;
    int32_t lumaLH_2 = 0;
    int32_t lumaLH_3 = 0;
    int32_t lumaLL = 0;
    int32_t display_height = 0;
    int32_t display_width = 0;
    int32_t display_bpp = 0;
    int32_t MaxDisplayHeight = 0;
    int32_t MaxDisplayWidth = 0;
    int32_t soft_load_packet_file = 0;
    int32_t soft_dump_packet_file = 0;
    char soft_packet_out[kImagingTextSize] = "iecpm_enc_packet.txt";
    char soft_packet_in_folder[kImagingTextSize] = ".";
    char soft_packet_in[kImagingTextSize] = "iecpm_enc_packet_in.txt";
    int32_t test_harness_file_use = 0;
    int32_t device_bw_limit = 0;
    int32_t device_bw_floor = 0;
    int32_t use_new_color_codec = 0;
    int32_t use_raster_order = 0;
    int32_t use_triplet_prefilter = 0;
    int32_t use_uncompressed_color = 0;
    int32_t force_solid_text_blocks = 0;
    int32_t spc_on = 1;
    int32_t all_ls = 0;
    int32_t maximum_encoder_passes = 1;
    int32_t img_compressor_support = 1;
    int32_t img_compression_level = 4;
    int32_t use_tile_image_caching = 0;
    int32_t image_cache_size = 31250;
    int32_t enable_tile_vertical_offset_caching = 0;
    uint8_t enable_image_decimation = 0;
    uint8_t always_decimate = 0;
    uint8_t enable_2x_decimation = 0;
    uint8_t enable_4x_decimation = 0;
    int32_t disable_cpu_capabilities_all = 0;
    int32_t disable_cpu_capabilities_sse2 = 0;
    int32_t disable_cpu_capabilities_sse3 = 0;
    int32_t disable_cpu_capabilities_ssse3 = 0;
    int32_t disable_cpu_capabilities_sse4_1 = 0;
    int32_t disable_cpu_capabilities_sse4_2 = 0;
    int32_t stop_on_last_frame = 0;
    int32_t sac_packet_capture_run = 0;
};

// The defaults, with the platform's folder of test videos (ending in a separator).
template <size_t N>
constexpr ImagingParameters imaging_defaults_with_input_folder(const char (&folder)[N]) {
    static_assert(N <= kImagingTextSize);
    ImagingParameters p;
    for (size_t i = 0; i < N; ++i) p.InputFolder[i] = folder[i];
    return p;
}

// The process's parameters, and their values before any file was read.
extern ImagingParameters g_imaging_parameters;
extern const ImagingParameters kImagingParameterDefaults;

enum class ImagingParameterKind : uint8_t {
    kNumber,  // int32_t, checked against minimum..maximum
    kText,    // char[kImagingTextSize], NUL-terminated
    kFlag,    // uint8_t, 0 or 1
};

// One named parameter. target points into g_imaging_parameters; names that share a
// target (StartFrame and StartFrame[0]) are rows of their own.
struct ImagingParameterRow {
    const char* name;
    void* target;
    ImagingParameterKind kind;
    int32_t minimum;  // inclusive, for numbers
    int32_t maximum;
};

// Every parameter, in table order (152 rows).
std::span<const ImagingParameterRow> imaging_parameter_table();
// The first row whose name equals name exactly (names are case-sensitive); null for none.
const ImagingParameterRow* find_imaging_parameter(std::string_view name);

// A number or flag parameter's current value; nothing for an unknown name or a text.
std::optional<int32_t> imaging_number(std::string_view name);
// A text parameter's current value; nothing for an unknown name or a number.
std::optional<std::string> imaging_text(std::string_view name);

// A row's current value and its default as text: the number, or the text as it is.
std::string imaging_value_text(const ImagingParameterRow& row);
std::string imaging_default_text(const ImagingParameterRow& row);

}  // namespace orvix::config::internal

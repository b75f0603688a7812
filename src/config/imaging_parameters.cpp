#include "config/imaging_parameters.h"

#include <cstring>
#include <iterator>

namespace orvix::config::internal {
namespace {

using Kind = ImagingParameterKind;

// A row named after its field; the stringized field is the parameter's name.
#define IMAGING_NUMBER(field, minimum, maximum) \
    ImagingParameterRow { #field, &g_imaging_parameters.field, Kind::kNumber, minimum, maximum }
#define IMAGING_TEXT(field) \
    ImagingParameterRow { #field, &g_imaging_parameters.field, Kind::kText, 0, 0 }
#define IMAGING_FLAG(field) \
    ImagingParameterRow { #field, &g_imaging_parameters.field, Kind::kFlag, 0, 1 }

// Searched in this order; the first row of a name is the one set.
constinit const ImagingParameterRow kTable[] = {
    IMAGING_TEXT(InputFolder),
    IMAGING_TEXT(OutputFolder),
    IMAGING_TEXT(TestName),
    IMAGING_NUMBER(enable_logging, 0, 1),
    IMAGING_NUMBER(log_to_stdio, 0, 1),
    IMAGING_NUMBER(log_to_file, 0, 1),
    IMAGING_NUMBER(log_level, 0, 3),
    IMAGING_NUMBER(NumDisplays, 1, 4),
    IMAGING_NUMBER(use_tsc_for_svga_input, 0, 1),
    IMAGING_NUMBER(tsc_frame_rate, 1, 60),
    IMAGING_TEXT(HostVideo[0]),
    IMAGING_TEXT(HostVideo[1]),
    IMAGING_TEXT(HostVideo[2]),
    IMAGING_TEXT(HostVideo[3]),
    IMAGING_TEXT(ClientVideo[0]),
    IMAGING_TEXT(ClientVideo[1]),
    IMAGING_TEXT(ClientVideo[2]),
    IMAGING_TEXT(ClientVideo[3]),
    // The names without an index are the first display's.
    {"StartFrame", &g_imaging_parameters.StartFrame[0], Kind::kNumber, 0, 100000},
    {"EndFrame", &g_imaging_parameters.EndFrame[0], Kind::kNumber, 0, 100000},
    {"NumOfFrame", &g_imaging_parameters.NumOfFrame[0], Kind::kNumber, 0, 100000},
    IMAGING_NUMBER(StartFrame[0], 0, 100000),
    IMAGING_NUMBER(EndFrame[0], 0, 100000),
    IMAGING_NUMBER(NumOfFrame[0], 0, 100000),
    IMAGING_NUMBER(StartFrame[1], 0, 100000),
    IMAGING_NUMBER(EndFrame[1], 0, 100000),
    IMAGING_NUMBER(NumOfFrame[1], 0, 100000),
    IMAGING_NUMBER(StartFrame[2], 0, 100000),
    IMAGING_NUMBER(EndFrame[2], 0, 100000),
    IMAGING_NUMBER(NumOfFrame[2], 0, 100000),
    IMAGING_NUMBER(StartFrame[3], 0, 100000),
    IMAGING_NUMBER(EndFrame[3], 0, 100000),
    IMAGING_NUMBER(NumOfFrame[3], 0, 100000),
    IMAGING_NUMBER(vorn_video_mode, 1, 3),
    IMAGING_NUMBER(use_cpu_bw_qual_control, 0, 100000),
    IMAGING_NUMBER(enable_build_to_lossless, 0, 1),
    IMAGING_NUMBER(enable_progressive_build, 0, 1),
    IMAGING_NUMBER(build_to_lossless_target_sec, 0, 3600),
    IMAGING_NUMBER(maximum_initial_image_quality, 0, 100),
    IMAGING_NUMBER(minimum_image_quality, 0, 100),
    IMAGING_NUMBER(maximum_frame_rate, 0, 100000),
    IMAGING_NUMBER(frame_rate_vs_quality_factor, 0, 100),
    IMAGING_NUMBER(ly_text_type, 0, 2),
    IMAGING_NUMBER(enable_ly_text, 0, 1),
    IMAGING_NUMBER(enable_probe_encode, 0, 1),
    IMAGING_NUMBER(enable_reset_to_lossless, 0, 1),
    IMAGING_NUMBER(early_exit_ls_min_bg_count, 0, 4096),
    IMAGING_NUMBER(max_bg_count, 0, 4096),
    IMAGING_NUMBER(early_exit_ls_max_color_count, 0, 4096),
    IMAGING_NUMBER(early_exit_ls_low_color_count, 0, 4096),
    IMAGING_NUMBER(early_exit_ly_too_many_clrs, 0, 4096),
    IMAGING_NUMBER(no_bound_solid_bg_count, 0, 4096),
    IMAGING_NUMBER(no_bound_bg_with_txt_count, 0, 4096),
    IMAGING_NUMBER(no_bound_some_bg_count, 0, 4096),
    IMAGING_NUMBER(no_bound_txt_count, 0, 4096),
    IMAGING_NUMBER(no_bound_too_many_clrs, 0, 4096),
    IMAGING_NUMBER(no_bound_very_few_clrs, 0, 4096),
    IMAGING_NUMBER(no_bound_txt_3_ee_peak, 0, 4096),
    IMAGING_NUMBER(no_bound_txt_3_nee_peak, 0, 4096),
    IMAGING_NUMBER(no_bound_txt_5_ee_peak, 0, 4096),
    IMAGING_NUMBER(no_bound_txt_5_nee_peak, 0, 4096),
    IMAGING_NUMBER(decomp_decision_score_threshold, 0, 4096),
    IMAGING_NUMBER(fast_change_decomp_delta, 0, 4096),
    IMAGING_NUMBER(max_lossy_bpp_per_mb, 0, 4096),
    IMAGING_NUMBER(pictureBaseQuality, 0, 15),
    IMAGING_NUMBER(objectBaseQuality, 0, 15),
    IMAGING_NUMBER(desiredQuality, 0, 15),
    IMAGING_NUMBER(delayedPicBaseQuality, 0, 15),
    IMAGING_NUMBER(delayedObjBaseQuality, 0, 15),
    IMAGING_NUMBER(baseQualityIncrement, 0, 15),
    IMAGING_NUMBER(desiredQualityIncrement, 0, 15),
    IMAGING_NUMBER(losslessBuildIncrement, 0, 16),
    IMAGING_NUMBER(lossyBuildDelay, 0, 4),
    IMAGING_NUMBER(serverLossyBuildDelay, 0, 255),
    IMAGING_NUMBER(serverLossyMECBuildDelay, 0, 255),
    IMAGING_NUMBER(serverLossyDecimateBuildDelay, 0, 255),
    IMAGING_NUMBER(lossyPixelTypes, 0, 4),
    IMAGING_NUMBER(mec_disable, 0, 1),
    IMAGING_NUMBER(mec_motion_map_test_run, 0, 1),
    IMAGING_TEXT(mec_motion_map_file),
    IMAGING_NUMBER(transform_settings, 0, 5),
    IMAGING_NUMBER(bias, 0, 255),
    IMAGING_NUMBER(chroma_ll_max, 0, 255),
    IMAGING_NUMBER(chroma_ll_shift, 0, 255),
    IMAGING_NUMBER(chroma_max, 0, 255),
    IMAGING_NUMBER(luma_ll_max, 0, 255),
    IMAGING_NUMBER(luma_ll_shift, 0, 255),
    IMAGING_NUMBER(luma_max, 0, 255),
    IMAGING_NUMBER(chromaHH_0, 0, 255),
    IMAGING_NUMBER(chromaHH_1, 0, 255),
    IMAGING_NUMBER(chromaHH_2, 0, 255),
    IMAGING_NUMBER(chromaHH_3, 0, 255),
    IMAGING_NUMBER(chromaHL_0, 0, 255),
    IMAGING_NUMBER(chromaHL_1, 0, 255),
    IMAGING_NUMBER(chromaHL_2, 0, 255),
    IMAGING_NUMBER(chromaHL_3, 0, 255),
    IMAGING_NUMBER(chromaLH_0, 0, 255),
    IMAGING_NUMBER(chromaLH_1, 0, 255),
    IMAGING_NUMBER(chromaLH_2, 0, 255),
    IMAGING_NUMBER(chromaLH_3, 0, 255),
    IMAGING_NUMBER(chromaLL, 0, 255),
    IMAGING_NUMBER(lumaHH_0, 0, 255),
    IMAGING_NUMBER(lumaHH_1, 0, 255),
    IMAGING_NUMBER(lumaHH_2, 0, 255),
    IMAGING_NUMBER(lumaHH_3, 0, 255),
    IMAGING_NUMBER(lumaHL_0, 0, 255),
    IMAGING_NUMBER(lumaHL_1, 0, 255),
    IMAGING_NUMBER(lumaHL_2, 0, 255),
    IMAGING_NUMBER(lumaHL_3, 0, 255),
    IMAGING_NUMBER(lumaLH_0, 0, 255),
    IMAGING_NUMBER(lumaLH_1, 0, 255),
    IMAGING_NUMBER(lumaLH_2, 0, 255),
    IMAGING_NUMBER(lumaLH_3, 0, 255),
    IMAGING_NUMBER(lumaLL, 0, 255),
    IMAGING_NUMBER(display_height, 0, 4096),
    IMAGING_NUMBER(display_width, 0, 4096),
    IMAGING_NUMBER(display_bpp, 0, 4096),
    IMAGING_NUMBER(MaxDisplayHeight, 0, 4096),
    IMAGING_NUMBER(MaxDisplayWidth, 0, 4096),
    IMAGING_NUMBER(soft_load_packet_file, 0, 1),
    IMAGING_NUMBER(soft_dump_packet_file, 0, 1),
    IMAGING_TEXT(soft_packet_out),
    IMAGING_TEXT(soft_packet_in_folder),
    IMAGING_TEXT(soft_packet_in),
    IMAGING_NUMBER(test_harness_file_use, 0, 1),
    IMAGING_NUMBER(device_bw_limit, 0, 1000000),
    IMAGING_NUMBER(device_bw_floor, 0, 1000000),
    IMAGING_NUMBER(use_new_color_codec, 0, 1),
    IMAGING_NUMBER(use_raster_order, 0, 1),
    IMAGING_NUMBER(use_triplet_prefilter, 0, 1),
    IMAGING_NUMBER(use_uncompressed_color, 0, 1),
    IMAGING_NUMBER(force_solid_text_blocks, 0, 1),
    IMAGING_NUMBER(spc_on, 0, 1),
    IMAGING_NUMBER(all_ls, 0, 1),
    IMAGING_NUMBER(maximum_encoder_passes, 1, 8),
    IMAGING_NUMBER(img_compressor_support, 0, 3),
    IMAGING_NUMBER(img_compression_level, 0, 9),
    IMAGING_NUMBER(use_tile_image_caching, 0, 1),
    IMAGING_NUMBER(image_cache_size, 0, 10000000),
    IMAGING_NUMBER(enable_tile_vertical_offset_caching, 0, 1),
    IMAGING_FLAG(enable_image_decimation),
    IMAGING_FLAG(always_decimate),
    IMAGING_FLAG(enable_2x_decimation),
    IMAGING_FLAG(enable_4x_decimation),
    IMAGING_NUMBER(disable_cpu_capabilities_all, 0, 1),
    IMAGING_NUMBER(disable_cpu_capabilities_sse2, 0, 1),
    IMAGING_NUMBER(disable_cpu_capabilities_sse3, 0, 1),
    IMAGING_NUMBER(disable_cpu_capabilities_ssse3, 0, 1),
    IMAGING_NUMBER(disable_cpu_capabilities_sse4_1, 0, 1),
    IMAGING_NUMBER(disable_cpu_capabilities_sse4_2, 0, 1),
    IMAGING_NUMBER(stop_on_last_frame, 0, 1),
    IMAGING_NUMBER(sac_packet_capture_run, 0, 1),
};

#undef IMAGING_NUMBER
#undef IMAGING_TEXT
#undef IMAGING_FLAG

static_assert(std::size(kTable) == 152);

// The same field of another record (the defaults), found by the field's offset.
const void* field_in(const ImagingParameters& record, const ImagingParameterRow& row) {
    const size_t offset = static_cast<size_t>(static_cast<const char*>(row.target) -
                                              reinterpret_cast<const char*>(&g_imaging_parameters));
    return reinterpret_cast<const char*>(&record) + offset;
}

std::string value_text(const ImagingParameterRow& row, const void* field) {
    switch (row.kind) {
        case Kind::kNumber: {
            int32_t n;
            std::memcpy(&n, field, sizeof n);
            return std::to_string(n);
        }
        case Kind::kFlag:
            return std::to_string(*static_cast<const uint8_t*>(field));
        case Kind::kText:
            return std::string(static_cast<const char*>(field),
                               strnlen(static_cast<const char*>(field), kImagingTextSize));
    }
    return {};
}

}  // namespace

std::span<const ImagingParameterRow> imaging_parameter_table() { return kTable; }

const ImagingParameterRow* find_imaging_parameter(std::string_view name) {
    for (const ImagingParameterRow& row : kTable) {
        if (name == row.name) return &row;
    }
    return nullptr;
}

std::optional<int32_t> imaging_number(std::string_view name) {
    const ImagingParameterRow* row = find_imaging_parameter(name);
    if (row == nullptr) return std::nullopt;
    if (row->kind == Kind::kNumber) return *static_cast<const int32_t*>(row->target);
    if (row->kind == Kind::kFlag) return *static_cast<const uint8_t*>(row->target);
    return std::nullopt;
}

std::optional<std::string> imaging_text(std::string_view name) {
    const ImagingParameterRow* row = find_imaging_parameter(name);
    if (row == nullptr || row->kind != Kind::kText) return std::nullopt;
    return value_text(*row, row->target);
}

std::string imaging_value_text(const ImagingParameterRow& row) { return value_text(row, row.target); }

std::string imaging_default_text(const ImagingParameterRow& row) {
    return value_text(row, field_in(kImagingParameterDefaults, row));
}

}  // namespace orvix::config::internal

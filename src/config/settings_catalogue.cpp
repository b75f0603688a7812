// The catalogue table and its lookups. Lookup by name goes through a hash index built
// from the table at compile time; it answers exactly what a scan from row 0 to the end
// row answers (names are unique, so the first match is the only one).
#include "config/settings_catalogue.h"

#include <array>
#include <cstring>
#include <string_view>

namespace {

constexpr uint32_t ALL = 0xFFFFFFFFu;
constexpr uint32_t FIXED = ENV_NOT_CONFIGURABLE;
constexpr uint32_t CONFIGURABLE = ENV_CONFIGURABLE;
constexpr uint32_t NONE = ENV_CLASS_NONE;
constexpr uint32_t NUMBER = ENV_CLASS_NUMBER;
constexpr uint32_t TEXT = ENV_CLASS_TEXT;
constexpr uint32_t CHECKED = ENV_RANGE_CHECKED;
constexpr uint32_t UNCHECKED = ENV_RANGE_NOT_CHECKED;
constexpr eENV_MODIFICATION M(uint32_t bits) { return static_cast<eENV_MODIFICATION>(bits); }

constexpr const char* kEndRowName = "end_of_lookup_table_marker";
// The store has 250 slots, so the end row stands no later than row 249.
constexpr uint32_t kMaxRows = 250;

// Columns: name, type, category, modification, configurable, value class, range check,
// min, max, default text.
constexpr sVORN_ENV_LOOKUP_ENTRY kCatalogue[] = {
    /*   0 */ {"???", ENV_VALUE_UNDEFINED, ALL, ENV_MOD_ALL_ONES, 0, NONE, 0, 0, 0, "undefined"},
    /*   1 */ {"orvix.enable_ipv4",                                ENV_VALUE_UINT8,    ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        "1"},
    /*   2 */ {"orvix.enable_ipv6",                                ENV_VALUE_UINT8,    ALL, M(ALL), CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "1"},
    /*   3 */ {"orvix.mac_addr",                                   ENV_VALUE_MAC_ADDR, ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        "special case: set in init routine"},
    /*   4 */ {"orvix.ip_address",                                 ENV_VALUE_STRING,   ALL, M(ALL), CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "::"},
    /*   5 */ {"orvix.tcp_port",                                   ENV_VALUE_UINT32,   ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        "4172"},
    /*   6 */ {"orvix.udp_port",                                   ENV_VALUE_UINT32,   ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        "special case: set in init routine"},
    /*   7 */ {"orvix.external_udp_address",                       ENV_VALUE_STRING,   ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        ""},
    /*   8 */ {"orvix.external_udp_port",                          ENV_VALUE_UINT32,   ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        "0"},
    /*   9 */ {"orvix.language",                                   ENV_VALUE_ENUM,     ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        "special case: set in init routine"},
    /*  10 */ {"orvix.session_timeout",                            ENV_VALUE_UINT32,   ALL, M(ALL), CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "60"},
    /*  11 */ {"orvix.session_retry_timeout",                      ENV_VALUE_UINT32,   2,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     120,      "special case: set in init routine"},
    /*  12 */ {"orvix.enable_resume_without_stag",                 ENV_VALUE_UINT8,    0,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  13 */ {"orvix.client_resume_enabled",                      ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  14 */ {"orvix.session_type",                               ENV_VALUE_ENUM,     ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        "special case: set in init routine"},
    /*  15 */ {"orvix.connection_type",                            ENV_VALUE_ENUM,     ALL, M(ALL), FIXED,        NONE,   UNCHECKED, 0,     0,        "special case: set in init routine"},
    /*  16 */ {"orvix.session_guid_tag",                           ENV_VALUE_STRING,   0,   M(1),   FIXED,        NONE,   UNCHECKED, 0,     0,        "00000000-0000-0000-0000-000000000000"},
    /*  17 */ {"orvix.priority_level",                             ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     4,        "2"},
    /*  18 */ {"orvix.enable_usb",                                 ENV_VALUE_UINT8,    1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  19 */ {"orvix.lcapabilities",                              ENV_VALUE_STRING,   ALL, M(ALL), CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /*  20 */ {"orvix.server_type",                                ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "AUTO"},
    /*  21 */ {"orvix.max_link_rate",                              ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000,     "1000000"},
    /*  22 */ {"orvix.device_bandwidth_target",                    ENV_VALUE_UINT32,   0,   M(10),  CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000,     "0"},
    /*  23 */ {"orvix.device_bandwidth_limit",                     ENV_VALUE_UINT32,   0,   M(10),  CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000,     "900000"},
    /*  24 */ {"orvix.device_bandwidth_floor",                     ENV_VALUE_UINT32,   0,   M(10),  CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000,     "100"},
    /*  25 */ {"orvix.bandwidth_partitioner_settings",             ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     1,        "{}"},
    /*  26 */ {"orvix.decoder_caps_override",                      ENV_VALUE_UINT32,   0,   M(10),  CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000,     "0"},
    /*  27 */ {"orvix.packet_loss_ppm",                            ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1000000,  "0"},
    /*  28 */ {"orvix.latency_sensitivity_threshold_ms",           ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     5000,     "75"},
    /*  29 */ {"orvix.latency_overrun_threshold_ms",               ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     5000,     "150"},
    /*  30 */ {"orvix.loss_sensitivity_ppm",                       ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000000,  "2000"},
    /*  31 */ {"orvix.bw_recovery",                                ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000000,  "1000"},
    /*  32 */ {"orvix.bw_rtt_compensation",                        ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  33 */ {"orvix.min_rtt_aging_slew_rate",                    ENV_VALUE_UINT32,   2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   1,     1000000,  "50"},
    /*  34 */ {"orvix.device_bandwidth_increase_threshold",        ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000,     "75"},
    /*  35 */ {"orvix.device_bandwidth_active_max_threshold",      ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000,     "110"},
    /*  36 */ {"orvix.bandwidth_log_interval_sec",                 ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     10000,    "60"},
    /*  37 */ {"orvix.imaging_log_interval_sec",                   ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     10000,    "30"},
    /*  38 */ {"orvix.api_stats_log_updates",                      ENV_VALUE_UINT32,   1,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1,        "0"},
    /*  39 */ {"orvix.api_stats_sampling_interval_ms",             ENV_VALUE_UINT32,   1,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     10000,    "1000"},
    /*  40 */ {"orvix.api_stats_rtt_signal_threshold_ms",          ENV_VALUE_UINT32,   1,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     10000,    "150"},
    /*  41 */ {"orvix.api_stats_packet_loss_signal_threshold_ppm", ENV_VALUE_UINT32,   1,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1000000,  "5000"},
    /*  42 */ {"orvix.ipc_variant",                                ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  43 */ {"orvix.enable_set_topology",                        ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  44 */ {"orvix.minimum_image_quality",                      ENV_VALUE_UINT8,    0,   M(10),  CONFIGURABLE, NUMBER, CHECKED,   20,    100,      "40"},
    /*  45 */ {"orvix.maximum_initial_image_quality",              ENV_VALUE_UINT8,    0,   M(10),  CONFIGURABLE, NUMBER, CHECKED,   30,    100,      "80"},
    /*  46 */ {"orvix.maximum_frame_rate",                         ENV_VALUE_UINT8,    0,   M(10),  CONFIGURABLE, NUMBER, CHECKED,   0,     120,      "0"},
    /*  47 */ {"orvix.decoder_rate_estimate_gain",                 ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     200,      "100"},
    /*  48 */ {"orvix.enable_progressive_build",                   ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  49 */ {"orvix.enable_build_to_lossless",                   ENV_VALUE_UINT8,    0,   M(10),  CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  50 */ {"orvix.build_to_lossless_target_sec",               ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     3600,     "30"},
    /*  51 */ {"orvix.fast_change_threshold_ms",                   ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     100000,   "150"},
    /*  52 */ {"orvix.movie_detect_block_threshold",               ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     100000,   "32"},
    /*  53 */ {"orvix.early_movie_detect_block_threshold",         ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     100000,   "100"},
    /*  54 */ {"orvix.fast_change_decomp_delta",                   ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     100000,   "10"},
    /*  55 */ {"orvix.max_lossy_bpp_per_mb",                       ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     100000,   "11"},
    /*  56 */ {"orvix.enable_ly_text",                             ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  57 */ {"orvix.enable_selective_img_pkt_retransmit",        ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  58 */ {"orvix.enable_new_color_coding",                    ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  59 */ {"orvix.new_color_coding_codec_support",             ENV_VALUE_UINT32,   2,   M(1),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     3,        "1"},
    /*  60 */ {"orvix.new_color_coding_level",                     ENV_VALUE_UINT8,    2,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     9,        "4"},
    /*  61 */ {"orvix.enable_color_prefilter",                     ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  62 */ {"orvix.enable_color_uncompressed",                  ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  63 */ {"orvix.force_lossy_encoding",                       ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  64 */ {"orvix.force_solid_text_blocks",                    ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  65 */ {"orvix.enable_tile_based_image_caching",            ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  66 */ {"orvix.enforce_maximum_initial_image_quality",      ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  67 */ {"orvix.enable_video_quality_table",                 ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  68 */ {"orvix.default_scale_table",                        ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     6,        "1"},
    /*  69 */ {"orvix.enable_decimation",                          ENV_VALUE_UINT8,    1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  70 */ {"orvix.decimate_all",                               ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  71 */ {"orvix.decimate_mode",                              ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  72 */ {"orvix.lenient_topo",                               ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  73 */ {"orvix.efe_marker",                                 ENV_VALUE_UINT32,   0,   M(10),  CONFIGURABLE, NUMBER, CHECKED,   0,     2,        "1"},
    /*  74 */ {"orvix.efe_capture_fallback",                       ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  75 */ {"orvix.efe_topology_fallback",                      ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  76 */ {"orvix.efe_motion",                                 ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     7,        "3"},
    /*  77 */ {"orvix.efe_blacklists",                             ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  78 */ {"orvix.efe_driver_reprobe",                         ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  79 */ {"orvix.nvidia_adapter_limit",                       ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     4,        "0"},
    /*  80 */ {"orvix.efe_head_spreading_mode",                    ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  81 */ {"orvix.nvidia_hotplug_timeout_secs",                ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     60,       "10"},
    /*  82 */ {"orvix.restore_displays_at_session_end",            ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  83 */ {"orvix.enable_deskside",                            ENV_VALUE_UINT8,    0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     2,        "2"},
    /*  84 */ {"orvix.enable_deskside_input_blocking",             ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  85 */ {"orvix.enable_deskside_screen_blanking",            ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  86 */ {"orvix.enable_deskside_local_display_restoration",  ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  87 */ {"orvix.efe_enable_amd_rapidfire",                   ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  88 */ {"orvix.efe_enable_amd_driver",                      ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  89 */ {"orvix.efe_enable_nvidia_grid",                     ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  90 */ {"orvix.enable_d3d_capture",                         ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  91 */ {"orvix.use_single_d3d_device",                      ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  92 */ {"orvix.enable_tile_vertical_offset_caching",        ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /*  93 */ {"orvix.image_cache_size",                           ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   16200, 10000000, "240000"},
    /*  94 */ {"orvix.image_cache_size_mb",                        ENV_VALUE_UINT32,   1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   50,    1024,     "250"},
    /*  95 */ {"orvix.enable_client_temporal_image_caching",       ENV_VALUE_UINT8,    1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  96 */ {"orvix.frame_rate_vs_quality_factor",               ENV_VALUE_UINT8,    2,   M(10),  CONFIGURABLE, NUMBER, CHECKED,   0,     100,      "50"},
    /*  97 */ {"orvix.use_client_img_settings",                    ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /*  98 */ {"orvix.image_codec_settings",                       ENV_VALUE_STRING,   0,   M(10),  CONFIGURABLE, TEXT,   UNCHECKED, 0,     1,        "{}"},
    /*  99 */ {"orvix.capture_queue_limit",                        ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     100,      "0"},
    /* 100 */ {"orvix.enable_imaging_encoding_skip",               ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 101 */ {"orvix.enable_per_display_dt_handling",             ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 102 */ {"orvix.verify_changemap",                           ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 103 */ {"orvix.verify_front_end_output",                    ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 104 */ {"orvix.over_bw_drop",                               ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1000,     "50"},
    /* 105 */ {"orvix.enable_monitor_power_saving",                ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 106 */ {"orvix.enable_h264_gl_fast_path",                   ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 107 */ {"orvix.linux_frame_buffer",                         ENV_VALUE_STRING,   1,   M(2),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     1,        "/dev/fb0"},
    /* 108 */ {"orvix.enable_direct_fb",                           ENV_VALUE_UINT8,    1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 109 */ {"orvix.lossless_detect_mode",                       ENV_VALUE_UINT32,   2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     3,        "0"},
    /* 110 */ {"orvix.enable_orvix_video_1",                       ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 111 */ {"orvix.enable_orvix_video_2",                       ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 112 */ {"orvix.enable_orvix_video_3",                       ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 113 */ {"orvix.enable_orvix_video_4",                       ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 114 */ {"orvix.ultra",                                      ENV_VALUE_UINT8,    0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     3,        "0"},
    /* 115 */ {"orvix.ultra_offload_mpps",                         ENV_VALUE_UINT32,   0,   M(10),  CONFIGURABLE, NUMBER, CHECKED,   1,     40,       "10"},
    /* 116 */ {"orvix.perf_manager",                               ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     10000,    "0"},
    /* 117 */ {"orvix.show_image_cache_hits",                      ENV_VALUE_UINT8,    1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 118 */ {"orvix.show_decimated",                             ENV_VALUE_UINT32,   1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 119 */ {"orvix.invert_lossy_image",                         ENV_VALUE_UINT8,    1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 120 */ {"orvix.fb_snapshot_interval_secs",                  ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1,        "0"},
    /* 121 */ {"orvix.enable_dsp",                                 ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 122 */ {"orvix.max_pixel_decode_rate",                      ENV_VALUE_UINT32,   1,   M(1),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "50000"},
    /* 123 */ {"orvix.max_encode_threads",                         ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "0"},
    /* 124 */ {"orvix.mtu_size",                                   ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   500,   1500,     "1200"},
    /* 125 */ {"orvix.netcongestion_detect_msec",                  ENV_VALUE_UINT32,   1,   M(10),  CONFIGURABLE, NUMBER, CHECKED,   3000,  60000,    "6000"},
    /* 126 */ {"orvix.usb_auth_table",                             ENV_VALUE_STRING,   1,   M(4),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "23XXXXXX"},
    /* 127 */ {"orvix.usb_unauth_table",                           ENV_VALUE_STRING,   1,   M(4),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 128 */ {"orvix.enable_null_encryption",                     ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 129 */ {"orvix.enable_fips_mode",                           ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 130 */ {"orvix.enable_trusted_domain_check",                ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 131 */ {"orvix.tls_cipher_blacklist",                       ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 132 */ {"orvix.ssig_xml_output_to_xml_transfer_log",        ENV_VALUE_UINT8,    2,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 133 */ {"orvix.ssl_cert_type",                              ENV_VALUE_UINT8,    0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     2,        "2"},
    /* 134 */ {"orvix.ssl_cert_min_key_length",                    ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   1024,  4096,     "3072"},
    /* 135 */ {"orvix.ssl_disable_aes_128",                        ENV_VALUE_UINT8,    2,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 136 */ {"orvix.ssl_cert_accept_third_party_certs",          ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 137 */ {"orvix.ssl_cert_force_suite_b",                     ENV_VALUE_UINT8,    0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 138 */ {"orvix.default_target_sni",                         ENV_VALUE_STRING,   2,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "orvix-default-sni"},
    /* 139 */ {"orvix.default_vcs_sni",                            ENV_VALUE_STRING,   2,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "orvix-default-vcs-sni"},
    /* 140 */ {"orvix.cert_store_name",                            ENV_VALUE_STRING,   2,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "MY"},
    /* 141 */ {"orvix.ca_cert_store_name",                         ENV_VALUE_STRING,   2,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "ROOT"},
    /* 142 */ {"orvix.ca_cert_folder_path",                        ENV_VALUE_STRING,   2,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "Windows default value to be defined"},
    /* 143 */ {"orvix.cert_subject_substring",                     ENV_VALUE_STRING,   2,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 144 */ {"orvix.cert_friendly_name",                         ENV_VALUE_STRING,   2,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 145 */ {"orvix.enable_transport_hdr",                       ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 146 */ {"orvix.transport_session_priority",                 ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   1,     4,        "4"},
    /* 147 */ {"orvix.enable_verify_transport_hdr",                ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 148 */ {"orvix.enable_uvchan",                              ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 149 */ {"orvix.enable_audio",                               ENV_VALUE_UINT8,    1,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 150 */ {"orvix.enable_opus",                                ENV_VALUE_UINT32,   2,   M(10),  CONFIGURABLE, NUMBER, UNCHECKED, 0,     1,        "1"},
    /* 151 */ {"orvix.enable_opus_in",                             ENV_VALUE_UINT32,   2,   M(1),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1,        "1"},
    /* 152 */ {"orvix.audio_frame_ms",                             ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   5,     20,       "10"},
    /* 153 */ {"orvix.audio_bandwidth_limit",                      ENV_VALUE_UINT32,   0,   M(10),  CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "512"},
    /* 154 */ {"orvix.enable_audio_pacing",                        ENV_VALUE_UINT8,    0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 155 */ {"orvix.enable_console_access",                      ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     2,        "2"},
    /* 156 */ {"orvix.disable_console_input",                      ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     2,        "2"},
    /* 157 */ {"orvix.enable_input_language_sync",                 ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 158 */ {"orvix.CAD_insert_substitution_scan_code",          ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     1,        "338"},
    /* 159 */ {"orvix.disable_cad",                                ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 160 */ {"orvix.disable_cursor_jumping",                     ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 161 */ {"orvix.num_cursor_jumping_historical_points",       ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   10,    60,       "60"},
    /* 162 */ {"orvix.enable_relative_mouse",                      ENV_VALUE_UINT8,    0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 163 */ {"orvix.disable_runtime_desktop_detection",          ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 164 */ {"orvix.enable_touch_input",                         ENV_VALUE_UINT8,    0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     2,        "2"},
    /* 165 */ {"orvix.enable_console_disconnect",                  ENV_VALUE_UINT8,    0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 166 */ {"orvix.disable_locally_rendered_cursor",            ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 167 */ {"orvix.host_side_primary_display_topology",         ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 168 */ {"orvix.soft_server_path",                           ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 169 */ {"orvix.vorn2_server_path",                          ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 170 */ {"AgentDLL",                                         ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 171 */ {"orvix.linux_lib_path",                             ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        "/usr/lib/orvix-agent"},
    /* 172 */ {"orvix.udpport",                                    ENV_VALUE_UINT32,   0,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   1,     65535,    "4172"},
    /* 173 */ {"orvix.udpport_range",                              ENV_VALUE_UINT32,   0,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   0,     10000,    "1000"},
    /* 174 */ {"orvix.client_udpport",                             ENV_VALUE_UINT32,   1,   M(4),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "50002"},
    /* 175 */ {"orvix.client_udpport_range",                       ENV_VALUE_UINT32,   1,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   0,     4096,     "4096"},
    /* 176 */ {"orvix.client_use_os_udpport",                      ENV_VALUE_UINT8,    1,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 177 */ {"orvix.collaboration_udpport",                      ENV_VALUE_UINT32,   0,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   1,     65535,    "64172"},
    /* 178 */ {"orvix.enable_vchan",                               ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     3,        "1"},
    /* 179 */ {"orvix.vchan_list",                                 ENV_VALUE_STRING,   1,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 180 */ {"orvix.vchan_datagram_log_enable",                  ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 181 */ {"orvix.vchan_datagram_log_num_bytes",               ENV_VALUE_UINT32,   1,   M(1),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "32"},
    /* 182 */ {"orvix.vchan_datagram_log_name",                    ENV_VALUE_STRING,   1,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 183 */ {"orvix.vchan_callback_log_timeout",                 ENV_VALUE_UINT32,   1,   M(1),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "20"},
    /* 184 */ {"orvix.disable_vchan_delayed_registration",         ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "0"},
    /* 185 */ {"orvix.enable_vchan_compression",                   ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 186 */ {"orvix.vchan_default_compression_level",            ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     9,        "3"},
    /* 187 */ {"orvix.event_filter_mode",                          ENV_VALUE_ENUM,     1,   M(12),  CONFIGURABLE, NUMBER, CHECKED,   0,     3,        "2"},
    /* 188 */ {"orvix.enable_perf_mon",                            ENV_VALUE_UINT8,    2,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 189 */ {"orvix.enable_selective_ack",                       ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 190 */ {"orvix.periodic_traceroute_interval",               ENV_VALUE_UINT32,   1,   M(1),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "0"},
    /* 191 */ {"orvix.server_statistics_interval_seconds",         ENV_VALUE_UINT16,   0,   M(2),   CONFIGURABLE, NUMBER, UNCHECKED, 0,     0,        "0"},
    /* 192 */ {"orvix.temporal_caching_debug_flags",               ENV_VALUE_UINT32,   1,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   0,     65535,    "0"},
    /* 193 */ {"orvix.desc_snapshot_period",                       ENV_VALUE_UINT32,   1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   10,    999,      "60"},
    /* 194 */ {"orvix.desc_snapshot_over_age",                     ENV_VALUE_UINT32,   1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   2,     20,       "5"},
    /* 195 */ {"orvix.enable_syslog_output",                       ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 196 */ {"orvix.enable_stdio_output",                        ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 197 */ {"orvix.enable_log_file_output",                     ENV_VALUE_UINT8,    1,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 198 */ {"orvix.d3d_diff_map",                               ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     2,        "1"},
    /* 199 */ {"orvix.use_ccd_apis",                               ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 200 */ {"orvix.mailbox_root",                               ENV_VALUE_STRING,   0,   M(1),   FIXED,        TEXT,   UNCHECKED, 0,     0,        "\\\\.\\mailslot\\ProtectedPrefix\\Administrators\\"},
    /* 201 */ {"orvix.host_platform",                              ENV_VALUE_STRING,   0,   M(1),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 202 */ {"orvix.enable_timezone_redirect",                   ENV_VALUE_UINT32,   0,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 203 */ {"orvix.connection_address",                         ENV_VALUE_STRING,   0,   M(4),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 204 */ {"orvix.client_connection_address",                  ENV_VALUE_STRING,   0,   M(4),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 205 */ {"orvix.enable_disclaimer_auth",                     ENV_VALUE_UINT32,   0,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 206 */ {"orvix.disclaimer_directory",                       ENV_VALUE_STRING,   0,   M(1),   FIXED,        TEXT,   UNCHECKED, 0,     0,        "Quillon\\OrvixAgent\\disclaimers\\"},
    /* 207 */ {"orvix.yuv_chroma_subsampling",                     ENV_VALUE_UINT8,    0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 208 */ {"orvix.enable_smart_card",                          ENV_VALUE_UINT32,   0,   M(1),   FIXED,        NUMBER, CHECKED,   0,     1,        "0"},
    /* 209 */ {"orvix.enable_unsupported_iso_devices",             ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 210 */ {"orvix.enable_usb_video",                           ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 211 */ {"orvix.enable_usb_high_speed",                      ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 212 */ {"orvix.enable_nvidia_connector_output_naming",      ENV_VALUE_UINT32,   0,   M(2),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 213 */ {"orvix.enable_collaboration",                       ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 214 */ {"orvix.enable_collaboration_manager_ui",            ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 215 */ {"orvix.collaboration_invite_timeout_in_seconds",    ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   1,     3600,     "3600"},
    /* 216 */ {"orvix.collaborator_id",                            ENV_VALUE_STRING,   0,   M(1),   FIXED,        TEXT,   UNCHECKED, 0,     0,        "primary"},
    /* 217 */ {"orvix.enable_collaboration_input_control",         ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 218 */ {"orvix.collaboration_input_control_timeout",        ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   100,   10000,    "3000"},
    /* 219 */ {"orvix.max_collaborators",                          ENV_VALUE_UINT32,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   1,     15,       "5"},
    /* 220 */ {"orvix.enable_system_logging",                      ENV_VALUE_UINT8,    0,   M(12),  CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 221 */ {"orvix.enable_screen_lock",                         ENV_VALUE_UINT8,    0,   M(12),  CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "1"},
    /* 222 */ {"orvix.macos_login_timeout",                        ENV_VALUE_UINT16,   0,   M(1),   CONFIGURABLE, NUMBER, CHECKED,   0,     300,      "75"},
    /* 223 */ {"orvix.authentication_broker_url",                  ENV_VALUE_STRING,   0,   M(4),   CONFIGURABLE, TEXT,   UNCHECKED, 0,     0,        ""},
    /* 224 */ {"orvix.enable_authentication_broker_unsigned_cert", ENV_VALUE_UINT8,    0,   M(4),   CONFIGURABLE, NUMBER, CHECKED,   0,     1,        "0"},
    /* 225 */ {kEndRowName, ENV_VALUE_DEPRECATED, 0, ENV_MOD_NONE, 0, NONE, 0, 0, 0, "undefined"},
};
static_assert(std::size(kCatalogue) <= kMaxRows, "the store has 250 value slots");

constexpr uint32_t kRowCount = static_cast<uint32_t>(std::size(kCatalogue));

constexpr uint32_t find_end_row() {
    for (uint32_t i = 1; i < kRowCount && i < kMaxRows; ++i) {
        if (std::string_view(kCatalogue[i].name) == kEndRowName) return i;
    }
    return 0;
}
constexpr uint32_t kEndRow = find_end_row();
static_assert(kEndRow == 225, "224 settings, then the end row");

// Open-addressing hash index over rows 0 .. end row - 1. Nearly every name starts with
// "orvix.", so the hash mixes the length with the eight bytes after that prefix and the
// last eight: a few instructions instead of a pass over every byte.
constexpr uint32_t kIndexSlots = 512;
constexpr uint16_t kEmptySlot = 0xFFFF;

constexpr uint64_t load8(std::string_view s, size_t at) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8 && at + i < s.size(); ++i) v |= uint64_t(static_cast<unsigned char>(s[at + i])) << (8 * i);
    return v;
}

constexpr uint32_t hash_name(std::string_view name) {
    const size_t n = name.size();
    const uint64_t head = load8(name, n > 6 ? 6 : 0);
    const uint64_t tail = load8(name, n > 8 ? n - 8 : 0);
    uint64_t h = (head * 0x9E3779B97F4A7C15ull) ^ tail ^ n;
    h *= 0xBF58476D1CE4E5B9ull;
    return static_cast<uint32_t>(h >> 40);
}

constexpr std::array<uint16_t, kIndexSlots> build_index() {
    std::array<uint16_t, kIndexSlots> index{};
    for (auto& slot : index) slot = kEmptySlot;
    for (uint32_t row = 0; row < kEndRow; ++row) {
        uint32_t slot = hash_name(kCatalogue[row].name) % kIndexSlots;
        while (index[slot] != kEmptySlot) slot = (slot + 1) % kIndexSlots;
        index[slot] = static_cast<uint16_t>(row);
    }
    return index;
}
constexpr std::array<uint16_t, kIndexSlots> kIndex = build_index();

// Name lengths by row: a probe compares the length before any byte.
constexpr std::array<uint8_t, kEndRow> build_lengths() {
    std::array<uint8_t, kEndRow> lengths{};
    for (uint32_t row = 0; row < kEndRow; ++row) {
        const size_t n = std::string_view(kCatalogue[row].name).size();
        if (n > 255) throw "a setting name is longer than 255 characters";
        lengths[row] = static_cast<uint8_t>(n);
    }
    return lengths;
}
constexpr std::array<uint8_t, kEndRow> kLengths = build_lengths();

// hash_name at run time: names of 14 characters or more (nearly all) have both windows
// whole, so each is one unaligned load instead of eight byte steps; the value is the same.
uint32_t hash_name_fast(std::string_view name) {
    const size_t n = name.size();
    if (n < 14) return hash_name(name);
    uint64_t head, tail;
    std::memcpy(&head, name.data() + 6, 8);
    std::memcpy(&tail, name.data() + n - 8, 8);
    uint64_t h = (head * 0x9E3779B97F4A7C15ull) ^ tail ^ n;
    h *= 0xBF58476D1CE4E5B9ull;
    return static_cast<uint32_t>(h >> 40);
}

// Equal bytes of two names of length n: eight at a time, the last eight overlapping.
bool same_name(const char* a, const char* b, size_t n) {
    if (n < 8) return std::memcmp(a, b, n) == 0;
    for (size_t at = 0;; at += 8) {
        if (at + 8 > n) at = n - 8;
        uint64_t x, y;
        std::memcpy(&x, a + at, 8);
        std::memcpy(&y, b + at, 8);
        if (x != y) return false;
        if (at + 8 == n) return true;
    }
}

uint32_t find_row(const char* name) {
    if (name == nullptr) return ENV_INDEX_NOT_FOUND;
    const std::string_view wanted(name);
    for (uint32_t slot = hash_name_fast(wanted) % kIndexSlots; kIndex[slot] != kEmptySlot;
         slot = (slot + 1) % kIndexSlots) {
        const uint32_t row = kIndex[slot];
        if (kLengths[row] == wanted.size() && same_name(kCatalogue[row].name, name, wanted.size())) return row;
    }
    return ENV_INDEX_NOT_FOUND;
}

}  // namespace

uint32_t get_entry_index(const char* name) { return find_row(name); }

uint32_t get_entry_index(const char* name, uint32_t* value_type) {
    const uint32_t index = find_row(name);
    *value_type = index == ENV_INDEX_NOT_FOUND ? ENV_VALUE_UNDEFINED : kCatalogue[index].value_type;
    return index;
}

uint32_t get_entry_type(const char* name) {
    const uint32_t index = get_entry_index(name);
    return index == ENV_INDEX_NOT_FOUND ? ENV_VALUE_UNDEFINED : kCatalogue[index].value_type;
}

sVORN_ENV_LOOKUP_ENTRY get_entry(uint32_t index) {
    // An index past the table gets the end row rather than reading beyond it.
    return kCatalogue[index < kEndRow ? index : kEndRow];
}

eENV_MODIFICATION get_entry_modification(uint32_t index) { return get_entry(index).modification; }

uint32_t get_num_entries() { return kEndRow == 0 ? 0 : kEndRow - 1; }

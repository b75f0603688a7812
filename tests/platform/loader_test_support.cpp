#include <chrono>
#include <system_error>

#include "loader_test_support.h"

namespace loader_test {

TestFolder::TestFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() / ("orvix-loader-" + std::to_string(stamp));
    std::filesystem::create_directories(path_);
    setMarker(marker());
}

TestFolder::~TestFolder() {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace loader_test

#pragma once
// The program's own resources: binary blobs compiled into the executable,
// found by a type name and a numeric id ("BINS" 102 is the reader template
// jar). The build turns each resource file into a byte array in a generated
// source file, so the program needs nothing beside itself at run time.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace volm {

inline constexpr const char* kTemplateResourceType = "BINS";
inline constexpr int kTemplateResourceId = 102;

// The bytes of a resource; they live as long as the program. Raises
// volm::Error ("The program's resource BINS 102 is missing") when the program
// was built without it.
std::span<const uint8_t> FindResource(std::string_view type, int id);

// The same, but an empty span when the resource is missing.
std::span<const uint8_t> FindResourceOrEmpty(std::string_view type, int id);

} // namespace volm

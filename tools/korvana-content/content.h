// Everything the default content consists of, as named byte buffers, and the two data files the
// show reads made from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvana::content {

struct Member {
    std::string name;  // as the show asks for it, "/" between path parts
    std::vector<uint8_t> data;
    bool pack;  // LZ-pack in the archive; JPEGs are stored, as they do not compress
};

// The four meshes and every image, in archive order. False with a reason on failure.
bool makeMembers(std::vector<Member>& members, std::string& error);

// Archive time of every member: fixed, so the archive's bytes never depend on when it was made
// (2026-01-01 00:00:00 in MS-DOS form).
inline constexpr uint32_t kMemberDosTime = (46u << 25) | (1u << 21) | (1u << 16);

}  // namespace korvana::content

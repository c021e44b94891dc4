// The code of the standard library that the `relative_to` shortcut was
// verified against: per CPython release, the digests (code_digest.hpp) of the
// functions the answer depends on, in the order posix_relative_to.cpp lists
// them. tools/code_digests.py prints the row of the interpreter it runs on; a
// release is added once the whole suite passes on it (`make test-newest`).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorin::pdk::contracts::pathlib {

inline constexpr std::size_t reached_functions = 25;

struct KnownRelease {
    const char* release;
    std::array<std::uint64_t, reached_functions> digests;
};

// clang-format off
inline constexpr KnownRelease known_releases[] = {
    {.release = "3.13.0", .digests = {0x0197727c13d8b094, 0x4341a6367dab7a9c, 0x8053ca0bc9bd0abd, 0xdcbdbdec08f1f000, 0x50eed52d06b4d5e9, 0xcbbc3db5138dfe2e, 0x86d6e91775051e24, 0xa3555ff6e5c59ba4, 0x1473276f00253c1b, 0xcbc607bb40d35890, 0x1ca7af2f53a6025c, 0x649785bfe0e22157, 0xfffa994952036cc8, 0xcf01dd6026cb17a1, 0x6499506c068f6ffd, 0x895eec2dae4e032f, 0x2fbc12c491acc564, 0x1dd16c67ad6d82e9, 0x895eec2dae4e032f, 0x038029ab19bfe24e, 0xb6a8b72f76c9f613, 0xc3dfd967d406e888, 0x68d1c127b9627a70, 0xf4b454e17b41284b, 0xa59c6cb10ece3040}},
    {.release = "3.13.15", .digests = {0x0197727c13d8b094, 0x4341a6367dab7a9c, 0x8053ca0bc9bd0abd, 0xdcbdbdec08f1f000, 0x50eed52d06b4d5e9, 0xcbbc3db5138dfe2e, 0x86d6e91775051e24, 0xa3555ff6e5c59ba4, 0x1473276f00253c1b, 0xbb2be62047f000fd, 0x1ca7af2f53a6025c, 0x649785bfe0e22157, 0xfffa994952036cc8, 0xcf01dd6026cb17a1, 0x6499506c068f6ffd, 0x9304359d69980508, 0x2fbc12c491acc564, 0x1dd16c67ad6d82e9, 0x9304359d69980508, 0x038029ab19bfe24e, 0xb6a8b72f76c9f613, 0xa2dae53a6e48a32d, 0x68d1c127b9627a70, 0xf4b454e17b41284b, 0xa59c6cb10ece3040}},
};
// clang-format on

}  // namespace quorin::pdk::contracts::pathlib

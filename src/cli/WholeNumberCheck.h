#pragma once

#include <cstdint>
#include <string>

#include <CLI/CLI.hpp>

namespace zm880::cli {

// An option's check that its text is a whole number of at least `least`, in plain words: a minus
// sign or a zero would otherwise wrap to a huge count or meet a range of doubles.
CLI::Validator WholeNumberFrom(std::uint64_t least, const std::string& what);

}  // namespace zm880::cli

#pragma once

#include <cstddef>
#include <cstdint>

// One function per fuzz target: the body of its LLVMFuzzerTestOneInput, callable from the
// regression test as well. Each returns 0, or -1 for an input it will not run (libFuzzer then
// keeps it out of the corpus).
namespace shoulu::fuzz {

int fuzzByteText(const std::uint8_t* data, std::size_t size);
int fuzzGbk(const std::uint8_t* data, std::size_t size);
int fuzzExtract(const std::uint8_t* data, std::size_t size);
int fuzzCatalogue(const std::uint8_t* data, std::size_t size);
int fuzzReadPage(const std::uint8_t* data, std::size_t size);
int fuzzSplitUrl(const std::uint8_t* data, std::size_t size);
int fuzzCli(const std::uint8_t* data, std::size_t size);
int fuzzRowFormat(const std::uint8_t* data, std::size_t size);

} // namespace shoulu::fuzz

// Each fuzz_<target>.cpp ends with SHOULU_FUZZ_ENTRY(itsFunction); the regression test builds
// the same files with SHOULU_FUZZ_NO_ENTRY, as one program holds only one entry point.
#ifdef SHOULU_FUZZ_NO_ENTRY
#define SHOULU_FUZZ_ENTRY(function)
#else
#define SHOULU_FUZZ_ENTRY(function)                                                                                    \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)                                  \
    {                                                                                                                  \
        return shoulu::fuzz::function(data, size);                                                                     \
    }
#endif

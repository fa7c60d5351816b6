// The whole conversion on arbitrary bytes, to both output formats; every output that claims
// success must itself convert back without error.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Converter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the option so that option paths get fuzzed too.
    static const char* const kOptions[] = {"", "png", "sizes=16,48", "sizes=1,256;png"};
    if (size == 0)
        return 0;
    tfi::ConvertOptions options;
    tfi::parseConvertOptions(kOptions[data[0] % 4], options);
    const tfi::ByteView source(data + 1, size - 1);
    for (tfi::OutputFormat format : {tfi::OutputFormat::Icon, tfi::OutputFormat::Png}) {
        std::vector<uint8_t> out, again;
        if (tfi::convertImage(source, format, options, out) != ERCI_OK)
            continue;
        const tfi::OutputFormat other = format == tfi::OutputFormat::Icon ? tfi::OutputFormat::Png : tfi::OutputFormat::Icon;
        if (tfi::convertImage(tfi::ByteView(out), other, options, again) != ERCI_OK)
            __builtin_trap();
    }
    return 0;
}

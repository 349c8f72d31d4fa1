// Feeds arbitrary bytes to the two readers of disc-image sheets as they stand before libcdio
// sees them: the cue sheet's FILE names and the .toc rewrite. Whatever a .toc names must stay
// inside its folder once anchored, and a cue FILE name never runs past its line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cdaccess/CdioUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const std::string& name : CueFileNames(text)) {
        if (name.find_first_of("\r\n") != std::string::npos)
            std::abort();
    }
    std::vector<std::string> files;
    if (RewriteTocPaths(text, "/discs", files)) {
        for (const std::string& f : files) {
            if (f.rfind("/discs/", 0) != 0 || f.find("/../") != std::string::npos ||
                f.ends_with("/.."))
                std::abort();
        }
    }
    return 0;
}

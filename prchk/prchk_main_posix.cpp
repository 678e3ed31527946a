// prchk on POSIX: the arguments and the output are bytes as they are.
#include <cstdio>

#include "prchk/tool_output.h"
#include "pricelist/file_calls.h"

void writeToolText(ToolStream stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream == ToolStream::Out ? stdout : stderr);
}

void writeToolData(std::string_view bytes, bool) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

int main(int argc, char** argv) {
    return runPrchk(programArguments(argc, argv));
}

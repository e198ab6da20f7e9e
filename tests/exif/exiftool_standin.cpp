// Stands in for exiftool in the bridge's tests: reads one request in the
// stay-open argument protocol, then either never answers ("stall") or ends
// without answering ("die").

#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

int main(int argc, char** argv)
{
    const bool die = argc > 1 && std::strcmp(argv[1], "die") == 0;
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "-execute", 8) != 0)
            continue;
        if (die)
            return 3;
        for (;;)
            pause();
    }
    return 0;
}

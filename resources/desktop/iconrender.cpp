// Build-time tool: renders the program's own icon (picture 1001) to PNG files
// for the desktop's icon theme. Usage: nimbrel-iconrender SIZE FILE [SIZE FILE]...
//
// Every size is drawn at its own resolution by the program's icon code, not
// scaled from the program's small icons.
#include "resources/pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: %s SIZE FILE [SIZE FILE]...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "%s: bad size '%s'\n", argv[0], argv[i]);
            return 2;
        }
        const QImage image = nimbrel::res::AppIconImage(size);
        const QString file = QString::fromLocal8Bit(argv[i + 1]);
        QDir().mkpath(QFileInfo(file).absolutePath());
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "%s: cannot write '%s'\n", argv[0], argv[i + 1]);
            return 1;
        }
    }
    return 0;
}

// Nimbrel: sets up ARGOS transmitters over a serial cable. Arguments are ignored.
#include "app/nimbrelapp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    TNimbrelApp app;
    return app.Run();
}

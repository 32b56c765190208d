// Globoid: two players push marbles on a hexagonal board until one has pushed six off.
#include "control/control.h"

int main() {
    MonApp = new AppType();
    MonApp->Run();
    if (MonApp) delete MonApp;
    return 0;
}

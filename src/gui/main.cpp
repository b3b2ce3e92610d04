#include "app/CTarvoApp.h"

int main(int argc, char* argv[]) {
    tarvo::gui::CTarvoApp app(argc, argv);
    return app.InitInstance();
}

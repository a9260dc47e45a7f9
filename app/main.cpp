// tarvolin: the window program.
#include "main_app.h"

int main(int argc, char **argv)
{
    tarvolin::CMainApp application;
    return application.run(argc, argv);
}

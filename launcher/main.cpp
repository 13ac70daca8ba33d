// The platform's entry point. Its start-up code hands over the command line
// without the program's own name and the blanks after it.
#include "launcher/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    return TaviMain(instance, tail);
}

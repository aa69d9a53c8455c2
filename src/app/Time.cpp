#include "app/Time.h"

Time* Time::Instance()
{
    // Created on first use and kept for the life of the process.
    static Time* instance = new Time();
    return instance;
}

#include "app/application.h"

int main(int argc, char **argv)
{
    return quillmere::runApplication(argc, argv);
}

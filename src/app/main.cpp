#include "app/CorvaneApp.h"

int main(int argc, char** argv) { return velto::CCorvaneApp::Main(argc, argv); }

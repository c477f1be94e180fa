// A library that delay-loads one no system has, built only so that the image
// check can show it refuses such a module.
extern "C" int Elsewhere();
extern "C" __declspec(dllexport) int Probe() { return Elsewhere(); }

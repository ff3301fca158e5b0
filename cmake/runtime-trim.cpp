// The parts of the mingw-w64 runtime start-up that this image does not use, left out of it.
//
// The start-up patches, before DllMain, data that was imported without __declspec(dllimport)
// (pseudo-relocations). The add-on imports no data, and the link script refuses to link an
// image that would need it, so the relocator is a no-op here; the real one would bring stdio
// error reporting and VirtualProtect with it.
extern "C" void _pei386_runtime_relocator(void) {}

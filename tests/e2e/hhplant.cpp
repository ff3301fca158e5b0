// A stranger's HHCTRL.OCX: nothing but a DLL of another path, found by a bare name.
int hhplant;

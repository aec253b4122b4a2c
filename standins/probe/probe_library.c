/* The stand-in for each of the payload's libraries: one exported function that tells which library
 * it is. The build compiles this file once per library name, with PROBE_LIBRARY_NAME defined as the
 * library's file name. */
#ifndef PROBE_LIBRARY_NAME
#error "PROBE_LIBRARY_NAME must name the library being built"
#endif

const char* ProbeLibraryName(void);

/* Returns the file name this copy of the library was built under, for example "TraceLib.dll". */
const char* ProbeLibraryName(void) {
    return PROBE_LIBRARY_NAME;
}

// Reports the sanitizers leave out in every program of a sanitizer build: the show, the
// tests and the programs the tests start.
//
// Mesa's software renderer (llvmpipe, inside swrast_dri.so or libgallium) runs threads of
// its own and hands work to them through its own fences. The library is not built with
// the sanitizer, so the checker sees the data pass between those threads without the
// synchronisation and reports races inside the driver; they are not ours to fix. Only
// stacks that go through the driver are left out: a race in our code stays a failure.
//
// The system libraries under the window and the GL context (X11, the GL dispatch, the
// driver and its compiler, fontconfig) keep blocks until the process ends by design; the
// leak checker would report them at every exit. Our own blocks stay checked.
#if defined(__SANITIZE_THREAD__)
extern "C" const char *__tsan_default_suppressions()
{
  return "race:swrast_dri.so\n"
         "race:libgallium\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char *__lsan_default_suppressions()
{
  return "leak:libX11.so\n"
         "leak:libxcb.so\n"
         "leak:libGLX_mesa.so\n"
         "leak:libGLdispatch.so\n"
         "leak:libEGL_mesa.so\n"
         "leak:swrast_dri.so\n"
         "leak:libgallium\n"
         "leak:libLLVM\n"
         "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n"
         "leak:libSDL2\n";
}
#endif

// Reports the sanitizers leave out in every program of a sanitizer build: the show, the
// tests and the programs the tests start.
//
// Mesa's software renderer (llvmpipe, inside swrast_dri.so or libgallium) runs threads of
// its own and hands work to them through its own fences. The library is not built with
// the sanitizer, so the checker sees the data pass between those threads without the
// synchronisation and reports races inside the driver; they are not ours to fix. Only
// stacks that go through the driver are left out: a race in our code stays a failure.
//
// GLib and GObject (under the start-up selector's GTK dialog) take their own type-system
// locks in an order the checker reads as a possible deadlock, and GTK loads its fonts
// through fontconfig on a GLib worker thread; none of them is built with the sanitizer.
//
// FFmpeg's decoders pass data between their frame threads as the driver does: a picture
// allocated on one of them is released, after the library's own hand-over, by the thread
// that read it.
//
// The GL driver keeps blocks until the process ends and is unloaded before the leak
// checker runs, so its blocks come without a library name to leave out: the leak check
// is off, as in the tests (a run in the environment may turn it on). Our own blocks are
// reported by the framework's leak tracker at exit.
#if defined(__SANITIZE_THREAD__)
extern "C" const char *__tsan_default_suppressions()
{
  return "race:swrast_dri.so\n"
         "race:libgallium\n"
         "race:libavutil.so\n"
         "race:libavcodec.so\n"
         "deadlock:libglib-2.0.so\n"
         "deadlock:libgobject-2.0.so\n"
         "race:libfontconfig.so\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }
#endif

// A library without the plug-in entry point.
extern "C" __attribute__((visibility("default"))) int vexa_not_a_plugin()
{
    return 0;
}

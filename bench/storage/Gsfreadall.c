/* The reference reader: libgsf opens the compound file, lists the root and
 * reads every stream to its end. Prints: elements, bytes read, seconds to
 * open and list, seconds to read everything, peak memory (kB). */
#include <gsf/gsf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static long peakKb(void)
{
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long v = 0;
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, "VmHWM:", 6) == 0)
            v = atol(line + 6);
    if (f)
        fclose(f);
    return v;
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    gsf_init();
    double t0 = now();
    GError* err = NULL;
    GsfInput* in = gsf_input_stdio_new(argv[1], &err);
    GsfInfile* ole = in ? gsf_infile_msole_new(in, &err) : NULL;
    if (!ole) {
        fprintf(stderr, "gsf: cannot open %s\n", argv[1]);
        return 1;
    }
    int n = gsf_infile_num_children(ole);
    size_t names = 0;
    for (int i = 0; i < n; ++i)
        names += strlen(gsf_infile_name_by_index(ole, i));
    double t1 = now();
    static guint8 buf[65536];
    long long total = 0;
    for (int i = 0; i < n; ++i) {
        GsfInput* s = gsf_infile_child_by_index(ole, i);
        gsf_off_t left = gsf_input_size(s);
        while (left > 0) {
            size_t k = left > (gsf_off_t)sizeof buf ? sizeof buf : (size_t)left;
            if (!gsf_input_read(s, k, buf))
                break;
            left -= k;
            total += k;
        }
        g_object_unref(s);
    }
    double t2 = now();
    printf("%d %lld %.6f %.6f %ld %zu\n", n, total, t1 - t0, t2 - t1, peakKb(), names);
    g_object_unref(ole);
    g_object_unref(in);
    return 0;
}

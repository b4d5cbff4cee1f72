/* The reference for listing a project: libgsf opens the compound file and
 * reads every root stream's 68-byte topic header, as listing the topics does.
 * Prints the number of streams read and the seconds it took. */
#include <gsf/gsf.h>
#include <stdio.h>
#include <time.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    double start = now();
    GError* err = NULL;
    GsfInput* file = gsf_input_stdio_new(argv[1], &err);
    if (!file)
        return 1;
    GsfInfile* ole = gsf_infile_msole_new(file, &err);
    if (!ole)
        return 1;
    int n = gsf_infile_num_children(ole), read = 0;
    for (int i = 0; i < n; ++i) {
        GsfInput* s = gsf_infile_child_by_index(ole, i);
        guint8 header[68];
        if (s && gsf_input_size(s) >= 68 && gsf_input_read(s, 68, header))
            ++read;
        if (s)
            g_object_unref(s);
    }
    g_object_unref(ole);
    g_object_unref(file);
    printf("%d %.6f\n", read, now() - start);
    return 0;
}

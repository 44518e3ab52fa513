/* The job of "parcelwright inflate IN OUT --size N" done with zlib or
 * libdeflate, as a whole process, for the whole-process benchmark: the raw
 * DEFLATE stream read whole, decoded into a buffer of the known size, written
 * out in one go. Exit 0 when exactly SIZE bytes came out, 1 otherwise, 2 on a
 * usage or file error.
 * Usage: inflate_whole zlib|libdeflate IN OUT SIZE */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#ifdef TW_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

static int read_whole(const char* path, unsigned char** bytes, size_t* length) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0) close(fd);
        return 0;
    }
    size_t size = (size_t)status.st_size, done = 0;
    unsigned char* buffer = malloc(size ? size : 1);
    while (buffer && done < size) {
        ssize_t got = read(fd, buffer + done, size - done);
        if (got <= 0) break;
        done += (size_t)got;
    }
    close(fd);
    if (!buffer || done != size) {
        free(buffer);
        return 0;
    }
    *bytes = buffer;
    *length = size;
    return 1;
}

static int inflate_zlib(const unsigned char* in, size_t in_length, unsigned char* out, size_t size) {
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK) return 0;
    z.next_in = (unsigned char*)in;
    z.avail_in = (uInt)in_length;
    z.next_out = out;
    z.avail_out = (uInt)size;
    int status = inflate(&z, Z_FINISH);
    int ok = status == Z_STREAM_END && z.total_out == size;
    inflateEnd(&z);
    return ok;
}

#ifdef TW_HAVE_LIBDEFLATE
static int inflate_libdeflate(const unsigned char* in, size_t in_length, unsigned char* out, size_t size) {
    struct libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    size_t produced = 0;
    int ok = d && libdeflate_deflate_decompress(d, in, in_length, out, size, &produced) == LIBDEFLATE_SUCCESS &&
             produced == size;
    libdeflate_free_decompressor(d);
    return ok;
}
#endif

int main(int argc, char** argv) {
    int (*decode)(const unsigned char*, size_t, unsigned char*, size_t) = NULL;
    if (argc == 5 && strcmp(argv[1], "zlib") == 0) decode = inflate_zlib;
#ifdef TW_HAVE_LIBDEFLATE
    if (argc == 5 && strcmp(argv[1], "libdeflate") == 0) decode = inflate_libdeflate;
#endif
    char* end = NULL;
    unsigned long long size = argc == 5 ? strtoull(argv[4], &end, 10) : 0;
    if (!decode || !end || *end || size > 0xFFFFFFFFull) {
#ifdef TW_HAVE_LIBDEFLATE
        fputs("usage: inflate_whole zlib|libdeflate IN OUT SIZE\n", stderr);
#else
        fputs("usage: inflate_whole zlib IN OUT SIZE (built without libdeflate)\n", stderr);
#endif
        return 2;
    }
    unsigned char* in = NULL;
    size_t in_length = 0;
    unsigned char* out = malloc(size ? (size_t)size : 1);
    if (!out || !read_whole(argv[2], &in, &in_length) || in_length > 0xFFFFFFFFull) {
        fprintf(stderr, "inflate_whole: cannot read %s\n", argv[2]);
        return 2;
    }
    int ok = decode(in, in_length, out, (size_t)size);
    FILE* file = fopen(argv[3], "wb");
    size_t written = ok ? (size_t)size : 0;
    if (!file || fwrite(out, 1, written, file) != written || fclose(file) != 0) {
        fprintf(stderr, "inflate_whole: cannot write %s\n", argv[3]);
        return 2;
    }
    free(in);
    free(out);
    return ok ? 0 : 1;
}

// The audio libraries, loaded at their first call instead of at program start.
//
// Linked the usual way, SDL2 brings in some twenty libraries of its own (X11,
// Wayland, PulseAudio, ALSA, DRM) and libsndfile its codecs (FLAC, Vorbis,
// Opus, LAME): every start of the player paid for mapping and relocating them,
// about 3 MB and a few milliseconds, before the window could show, though
// nothing is decoded or played until the user asks. So the program is not
// linked against them; the functions the back end calls are defined here, and
// each one loads its library on first use and forwards to the real function.
//
// When a library cannot be loaded, its functions answer as the library does on
// failure (no handle, an error code, SDL_GetError telling why), so opening a file
// fails the ordinary way. Loading is thread-safe (the decoder and output threads
// call in too) and libraries stay loaded until the process ends.
#include <SDL.h>
#include <mpg123.h>
#include <pipewire/pipewire.h>
#include <pulse/pulseaudio.h>
#include <sndfile.h>

#include <dlfcn.h>
#include <string>

namespace {

struct Library {
    explicit Library(const char *soname) : handle(::dlopen(soname, RTLD_NOW | RTLD_LOCAL))
    {
        if (!handle) {
            const char *why = ::dlerror();
            error = why ? why : soname;
        }
    }
    void *Symbol(const char *name) const { return handle ? ::dlsym(handle, name) : nullptr; }
    void *handle;
    std::string error;
};

// The libraries' binary interfaces by their sonames (SDL 2, libsndfile 1, libmpg123 0,
// libpulse 0, libpipewire 0.3, which PipeWire 1.x keeps).
const Library &Sdl()
{
    static const Library lib("libSDL2-2.0.so.0");
    return lib;
}

const Library &SndFile()
{
    static const Library lib("libsndfile.so.1");
    return lib;
}

const Library &Pulse()
{
    static const Library lib("libpulse.so.0");
    return lib;
}

const Library &PipeWire()
{
    static const Library lib("libpipewire-0.3.so.0");
    return lib;
}

const Library &Mpg123()
{
    static const Library lib("libmpg123.so.0");
    return lib;
}

template <typename F>
F *Resolve(const Library &lib, const char *name)
{
    return reinterpret_cast<F *>(lib.Symbol(name));
}

} // namespace

#define ZOLM_NAME_TEXT2(name) #name
// The exported name after the header's renaming macros (mpg123_param is mpg123_param2).
#define ZOLM_NAME_TEXT(name) ZOLM_NAME_TEXT2(name)

// Defines `name` to forward to the library's own function, or to give `failure`.
#define ZOLM_FORWARD(lib, ret, name, params, args, failure)                                              \
    extern "C" ret name params                                                                           \
    {                                                                                                    \
        static auto *const real = Resolve<decltype(name)>(lib(), ZOLM_NAME_TEXT(name));                   \
        if (real)                                                                                        \
            return real args;                                                                            \
        failure;                                                                                         \
    }

// ---------------------------------------------------------------- SDL2

ZOLM_FORWARD(Sdl, int, SDL_InitSubSystem, (Uint32 flags), (flags), return -1)
ZOLM_FORWARD(Sdl, void, SDL_QuitSubSystem, (Uint32 flags), (flags), return)
ZOLM_FORWARD(Sdl, SDL_bool, SDL_SetHint, (const char *name, const char *value), (name, value), return SDL_FALSE)
ZOLM_FORWARD(Sdl, SDL_AudioDeviceID, SDL_OpenAudioDevice,
             (const char *device, int iscapture, const SDL_AudioSpec *desired, SDL_AudioSpec *obtained,
              int allowed_changes),
             (device, iscapture, desired, obtained, allowed_changes), return 0)
ZOLM_FORWARD(Sdl, void, SDL_CloseAudioDevice, (SDL_AudioDeviceID dev), (dev), return)
ZOLM_FORWARD(Sdl, void, SDL_PauseAudioDevice, (SDL_AudioDeviceID dev, int pause_on), (dev, pause_on), return)
ZOLM_FORWARD(Sdl, void, SDL_LockAudioDevice, (SDL_AudioDeviceID dev), (dev), return)
ZOLM_FORWARD(Sdl, void, SDL_UnlockAudioDevice, (SDL_AudioDeviceID dev), (dev), return)
ZOLM_FORWARD(Sdl, const char *, SDL_GetError, (void), (), return Sdl().error.c_str())
ZOLM_FORWARD(Sdl, void, SDL_SetEventFilter, (SDL_EventFilter filter, void *userdata), (filter, userdata), return)

// ---------------------------------------------------------------- libpulse
// Without the library there is no server output: the first call says so and SDL is used.

ZOLM_FORWARD(Pulse, pa_threaded_mainloop *, pa_threaded_mainloop_new, (void), (), return nullptr)
ZOLM_FORWARD(Pulse, void, pa_threaded_mainloop_free, (pa_threaded_mainloop * m), (m), return)
ZOLM_FORWARD(Pulse, int, pa_threaded_mainloop_start, (pa_threaded_mainloop * m), (m), return -1)
ZOLM_FORWARD(Pulse, void, pa_threaded_mainloop_lock, (pa_threaded_mainloop * m), (m), return)
ZOLM_FORWARD(Pulse, void, pa_threaded_mainloop_unlock, (pa_threaded_mainloop * m), (m), return)
ZOLM_FORWARD(Pulse, void, pa_threaded_mainloop_wait, (pa_threaded_mainloop * m), (m), return)
ZOLM_FORWARD(Pulse, void, pa_threaded_mainloop_signal, (pa_threaded_mainloop * m, int wait_for_accept),
             (m, wait_for_accept), return)
ZOLM_FORWARD(Pulse, pa_mainloop_api *, pa_threaded_mainloop_get_api, (pa_threaded_mainloop * m), (m), return nullptr)
ZOLM_FORWARD(Pulse, pa_proplist *, pa_proplist_new, (void), (), return nullptr)
ZOLM_FORWARD(Pulse, void, pa_proplist_free, (pa_proplist * p), (p), return)
ZOLM_FORWARD(Pulse, int, pa_proplist_sets, (pa_proplist * p, const char *key, const char *value), (p, key, value),
             return -1)
ZOLM_FORWARD(Pulse, const char *, pa_strerror, (int error), (error), return Pulse().error.c_str())
ZOLM_FORWARD(Pulse, pa_context *, pa_context_new_with_proplist,
             (pa_mainloop_api * mainloop, const char *name, const pa_proplist *proplist), (mainloop, name, proplist),
             return nullptr)
ZOLM_FORWARD(Pulse, void, pa_context_unref, (pa_context * c), (c), return)
ZOLM_FORWARD(Pulse, int, pa_context_connect,
             (pa_context * c, const char *server, pa_context_flags_t flags, const pa_spawn_api *api),
             (c, server, flags, api), return -1)
ZOLM_FORWARD(Pulse, pa_context_state_t, pa_context_get_state, (const pa_context *c), (c), return PA_CONTEXT_FAILED)
ZOLM_FORWARD(Pulse, int, pa_context_errno, (const pa_context *c), (c), return PA_ERR_UNKNOWN)
ZOLM_FORWARD(Pulse, void, pa_context_set_state_callback, (pa_context * c, pa_context_notify_cb_t cb, void *userdata),
             (c, cb, userdata), return)
ZOLM_FORWARD(Pulse, void, pa_operation_unref, (pa_operation * o), (o), return)
ZOLM_FORWARD(Pulse, pa_stream *, pa_stream_new_with_proplist,
             (pa_context * c, const char *name, const pa_sample_spec *ss, const pa_channel_map *map, pa_proplist *p),
             (c, name, ss, map, p), return nullptr)
ZOLM_FORWARD(Pulse, void, pa_stream_unref, (pa_stream * s), (s), return)
ZOLM_FORWARD(Pulse, pa_stream_state_t, pa_stream_get_state, (const pa_stream *p), (p), return PA_STREAM_FAILED)
ZOLM_FORWARD(Pulse, int, pa_stream_connect_playback,
             (pa_stream * s, const char *dev, const pa_buffer_attr *attr, pa_stream_flags_t flags,
              const pa_cvolume *volume, pa_stream *sync_stream),
             (s, dev, attr, flags, volume, sync_stream), return -1)
ZOLM_FORWARD(Pulse, int, pa_stream_disconnect, (pa_stream * s), (s), return -1)
ZOLM_FORWARD(Pulse, void, pa_stream_set_state_callback, (pa_stream * s, pa_stream_notify_cb_t cb, void *userdata),
             (s, cb, userdata), return)
ZOLM_FORWARD(Pulse, void, pa_stream_set_write_callback, (pa_stream * p, pa_stream_request_cb_t cb, void *userdata),
             (p, cb, userdata), return)
ZOLM_FORWARD(Pulse, void, pa_stream_set_suspended_callback, (pa_stream * p, pa_stream_notify_cb_t cb, void *userdata),
             (p, cb, userdata), return)
ZOLM_FORWARD(Pulse, int, pa_stream_is_suspended, (const pa_stream *s), (s), return -1)
ZOLM_FORWARD(Pulse, void, pa_stream_set_moved_callback, (pa_stream * p, pa_stream_notify_cb_t cb, void *userdata),
             (p, cb, userdata), return)
ZOLM_FORWARD(Pulse, void, pa_stream_set_underflow_callback, (pa_stream * p, pa_stream_notify_cb_t cb, void *userdata),
             (p, cb, userdata), return)
ZOLM_FORWARD(Pulse, const char *, pa_stream_get_device_name, (const pa_stream *s), (s), return nullptr)
ZOLM_FORWARD(Pulse, size_t, pa_stream_writable_size, (const pa_stream *p), (p), return static_cast<size_t>(-1))
ZOLM_FORWARD(Pulse, int, pa_stream_begin_write, (pa_stream * p, void **data, size_t *nbytes), (p, data, nbytes),
             return -1)
ZOLM_FORWARD(Pulse, int, pa_stream_cancel_write, (pa_stream * p), (p), return -1)
ZOLM_FORWARD(Pulse, int, pa_stream_write,
             (pa_stream * p, const void *data, size_t nbytes, pa_free_cb_t free_cb, int64_t offset,
              pa_seek_mode_t seek),
             (p, data, nbytes, free_cb, offset, seek), return -1)
ZOLM_FORWARD(Pulse, pa_operation *, pa_stream_cork, (pa_stream * s, int b, pa_stream_success_cb_t cb, void *userdata),
             (s, b, cb, userdata), return nullptr)
ZOLM_FORWARD(Pulse, pa_operation *, pa_stream_flush, (pa_stream * s, pa_stream_success_cb_t cb, void *userdata),
             (s, cb, userdata), return nullptr)
ZOLM_FORWARD(Pulse, pa_operation *, pa_stream_trigger, (pa_stream * s, pa_stream_success_cb_t cb, void *userdata),
             (s, cb, userdata), return nullptr)
ZOLM_FORWARD(Pulse, pa_operation *, pa_stream_drain, (pa_stream * s, pa_stream_success_cb_t cb, void *userdata),
             (s, cb, userdata), return nullptr)
ZOLM_FORWARD(Pulse, pa_operation *, pa_stream_update_timing_info,
             (pa_stream * p, pa_stream_success_cb_t cb, void *userdata), (p, cb, userdata), return nullptr)
ZOLM_FORWARD(Pulse, const pa_timing_info *, pa_stream_get_timing_info, (pa_stream * s), (s), return nullptr)
ZOLM_FORWARD(Pulse, pa_operation *, pa_stream_proplist_update,
             (pa_stream * s, pa_update_mode_t mode, pa_proplist *p, pa_stream_success_cb_t cb, void *userdata),
             (s, mode, p, cb, userdata), return nullptr)

// ---------------------------------------------------------------- libpipewire
// PipeWire 1.x takes the wait's deadline as const; 0.3 (Debian 12) does not.
#if PW_CHECK_VERSION(1, 0, 0)
using PwDeadline = const struct timespec *;
#else
using PwDeadline = struct timespec *;
#endif
// Without the library there is no PipeWire output: the server is then reached through libpulse.
// The core's, loop's and stream's methods not named here are the headers' inline functions.

ZOLM_FORWARD(PipeWire, void, pw_init, (int *argc, char **argv[]), (argc, argv), return)
ZOLM_FORWARD(PipeWire, pw_thread_loop *, pw_thread_loop_new, (const char *name, const spa_dict *props),
             (name, props), return nullptr)
ZOLM_FORWARD(PipeWire, void, pw_thread_loop_destroy, (pw_thread_loop * loop), (loop), return)
ZOLM_FORWARD(PipeWire, pw_loop *, pw_thread_loop_get_loop, (pw_thread_loop * loop), (loop), return nullptr)
ZOLM_FORWARD(PipeWire, int, pw_thread_loop_start, (pw_thread_loop * loop), (loop), return -1)
ZOLM_FORWARD(PipeWire, void, pw_thread_loop_lock, (pw_thread_loop * loop), (loop), return)
ZOLM_FORWARD(PipeWire, void, pw_thread_loop_unlock, (pw_thread_loop * loop), (loop), return)
ZOLM_FORWARD(PipeWire, void, pw_thread_loop_signal, (pw_thread_loop * loop, bool wait_for_accept),
             (loop, wait_for_accept), return)
ZOLM_FORWARD(PipeWire, int, pw_thread_loop_get_time, (pw_thread_loop * loop, struct timespec *abstime, int64_t timeout),
             (loop, abstime, timeout), return -1)
ZOLM_FORWARD(PipeWire, int, pw_thread_loop_timed_wait_full, (pw_thread_loop * loop, PwDeadline abstime),
             (loop, abstime), return -1)
ZOLM_FORWARD(PipeWire, pw_context *, pw_context_new,
             (pw_loop * main_loop, pw_properties *props, size_t user_data_size), (main_loop, props, user_data_size),
             return nullptr)
ZOLM_FORWARD(PipeWire, void, pw_context_destroy, (pw_context * context), (context), return)
ZOLM_FORWARD(PipeWire, pw_core *, pw_context_connect,
             (pw_context * context, pw_properties *properties, size_t user_data_size),
             (context, properties, user_data_size), return nullptr)
ZOLM_FORWARD(PipeWire, int, pw_core_disconnect, (pw_core * core), (core), return -1)
ZOLM_FORWARD(PipeWire, void, pw_proxy_destroy, (pw_proxy * proxy), (proxy), return)
ZOLM_FORWARD(PipeWire, pw_properties *, pw_properties_new_dict, (const spa_dict *dict), (dict), return nullptr)
ZOLM_FORWARD(PipeWire, int, pw_properties_set, (pw_properties * properties, const char *key, const char *value),
             (properties, key, value), return -1)
ZOLM_FORWARD(PipeWire, pw_stream *, pw_stream_new, (pw_core * core, const char *name, pw_properties *props),
             (core, name, props), return nullptr)
ZOLM_FORWARD(PipeWire, void, pw_stream_destroy, (pw_stream * stream), (stream), return)
ZOLM_FORWARD(PipeWire, void, pw_stream_add_listener,
             (pw_stream * stream, spa_hook *listener, const pw_stream_events *events, void *data),
             (stream, listener, events, data), return)
ZOLM_FORWARD(PipeWire, int, pw_stream_update_properties, (pw_stream * stream, const spa_dict *dict), (stream, dict),
             return -1)
ZOLM_FORWARD(PipeWire, int, pw_stream_connect,
             (pw_stream * stream, enum pw_direction direction, uint32_t target_id, enum pw_stream_flags flags,
              const spa_pod **params, uint32_t n_params),
             (stream, direction, target_id, flags, params, n_params), return -1)
ZOLM_FORWARD(PipeWire, int, pw_stream_get_time_n, (pw_stream * stream, pw_time *time, size_t size),
             (stream, time, size), return -1)
ZOLM_FORWARD(PipeWire, pw_buffer *, pw_stream_dequeue_buffer, (pw_stream * stream), (stream), return nullptr)
ZOLM_FORWARD(PipeWire, int, pw_stream_queue_buffer, (pw_stream * stream, pw_buffer *buffer), (stream, buffer),
             return -1)
ZOLM_FORWARD(PipeWire, int, pw_stream_set_active, (pw_stream * stream, bool active), (stream, active), return -1)
ZOLM_FORWARD(PipeWire, int, pw_stream_flush, (pw_stream * stream, bool drain), (stream, drain), return -1)
ZOLM_FORWARD(PipeWire, uint32_t, pw_stream_get_node_id, (pw_stream * stream), (stream), return SPA_ID_INVALID)

// ---------------------------------------------------------------- libmpg123

ZOLM_FORWARD(Mpg123, int, mpg123_init, (void), (), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, mpg123_handle *, mpg123_new, (const char *decoder, int *error), (decoder, error),
             if (error) *error = MPG123_ERR;
             return nullptr)
ZOLM_FORWARD(Mpg123, void, mpg123_delete, (mpg123_handle * mh), (mh), return)
ZOLM_FORWARD(Mpg123, int, mpg123_param, (mpg123_handle * mh, int type, long value, double fvalue),
             (mh, type, value, fvalue), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_format_none, (mpg123_handle * mh), (mh), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_format, (mpg123_handle * mh, long rate, int channels, int encodings),
             (mh, rate, channels, encodings), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, void, mpg123_rates, (const long **list, size_t *number), (list, number),
             if (list) *list = nullptr;
             if (number) *number = 0;
             return)
ZOLM_FORWARD(Mpg123, int, mpg123_open, (mpg123_handle * mh, const char *path), (mh, path), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_open_fd, (mpg123_handle * mh, int fd), (mh, fd), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_open_handle, (mpg123_handle * mh, void *iohandle), (mh, iohandle),
             return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_replace_reader_handle,
             (mpg123_handle * mh, mpg123_ssize_t (*r_read)(void *, void *, size_t),
              off_t (*r_lseek)(void *, off_t, int), void (*cleanup)(void *)),
             (mh, r_read, r_lseek, cleanup), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_close, (mpg123_handle * mh), (mh), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_getformat, (mpg123_handle * mh, long *rate, int *channels, int *encoding),
             (mh, rate, channels, encoding), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_scan, (mpg123_handle * mh), (mh), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, off_t, mpg123_length, (mpg123_handle * mh), (mh), return MPG123_ERR)
ZOLM_FORWARD(Mpg123, int, mpg123_read, (mpg123_handle * mh, void *outmemory, size_t outmemsize, size_t *done),
             (mh, outmemory, outmemsize, done),
             if (done) *done = 0;
             return MPG123_ERR)
ZOLM_FORWARD(Mpg123, off_t, mpg123_seek, (mpg123_handle * mh, off_t sampleoff, int whence), (mh, sampleoff, whence),
             return MPG123_ERR)

// ---------------------------------------------------------------- libsndfile

ZOLM_FORWARD(SndFile, SNDFILE *, sf_open, (const char *path, int mode, SF_INFO *sfinfo), (path, mode, sfinfo),
             return nullptr)
ZOLM_FORWARD(SndFile, SNDFILE *, sf_open_fd, (int fd, int mode, SF_INFO *sfinfo, int close_desc),
             (fd, mode, sfinfo, close_desc), return nullptr)
ZOLM_FORWARD(SndFile, SNDFILE *, sf_open_virtual,
             (SF_VIRTUAL_IO * sfvirtual, int mode, SF_INFO *sfinfo, void *user_data),
             (sfvirtual, mode, sfinfo, user_data), return nullptr)
ZOLM_FORWARD(SndFile, int, sf_close, (SNDFILE * sndfile), (sndfile), return 0)
ZOLM_FORWARD(SndFile, int, sf_command, (SNDFILE * sndfile, int command, void *data, int datasize),
             (sndfile, command, data, datasize), return 0)
ZOLM_FORWARD(SndFile, sf_count_t, sf_readf_short, (SNDFILE * sndfile, short *ptr, sf_count_t frames),
             (sndfile, ptr, frames), return 0)
ZOLM_FORWARD(SndFile, sf_count_t, sf_readf_float, (SNDFILE * sndfile, float *ptr, sf_count_t frames),
             (sndfile, ptr, frames), return 0)
ZOLM_FORWARD(SndFile, sf_count_t, sf_writef_short, (SNDFILE * sndfile, const short *ptr, sf_count_t frames),
             (sndfile, ptr, frames), return 0)
ZOLM_FORWARD(SndFile, sf_count_t, sf_seek, (SNDFILE * sndfile, sf_count_t frames, int whence),
             (sndfile, frames, whence), return -1)

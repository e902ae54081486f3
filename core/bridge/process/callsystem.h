#pragma once
/* A small child-process runner with a C interface: start a program with
 * pipes, an argument list and an environment list, then poll, wait for or
 * kill it. Results: 0 (or a pointer) on success, -1 (or NULL) with errno set
 * on failure. Every descriptor these functions create is close-on-exec. */

#include <stdio.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CALLSYSTEM_EXPORT __attribute__((visibility("default")))

/* Argument and environment lists (char**): a NULL-terminated array of
 * strings from malloc; a NULL list is an empty one. Environment entries are
 * "NAME=value". Free a list with callsystem_argv_clear or
 * callsystem_env_clear. */

/* A descriptor pair: [0] the read end, [1] the write end; -1 marks a free end. */
typedef int callsystem_fd_t[2];

/* Modes of callsystem_open and callsystem_fdopen. The binary bit is accepted
 * and ignored. */
enum {
    CALLSYSTEM_MODE_READ = 0,
    CALLSYSTEM_MODE_WRITE = 1, /* callsystem_fdopen only */
    CALLSYSTEM_MODE_CREATE = 2,
    CALLSYSTEM_MODE_APPEND = 3,
    CALLSYSTEM_MODE_OVERWRITE = 4,
    CALLSYSTEM_MODE_BINARY = 8
};

/* The child's exit code once it has exited; 128 + the signal when a signal
 * ended it. callsystem_running answers this while the child still runs. */
#define CALLSYSTEM_RUNNING 256

/* Starts `cmd` with `argv` (the command's last path component is put in
 * front as argument 0) and `env` (NULL: the defaults of
 * callsystem_exportdefaults). A command without "/" is looked up in the PATH
 * of that environment, after changing to `wd`. The child reads end 0 of
 * `in` and writes end 1 of `out` and `err`; a NULL pair inherits ours. The
 * parent closes those child ends and marks them -1. `priority` > 0 raises
 * the child's priority by 5, < 0 lowers it by 5. `*pid` must be 0 (errno
 * EBUSY otherwise) and receives the child's id. A child that cannot run the
 * command prints "\nCALLSYSTEM_ERROR: <what> : <errno> : <text>\n" on its
 * standard error and exits 127. */
CALLSYSTEM_EXPORT int callsystem(const char* cmd, char** argv, char** env, callsystem_fd_t in,
                                 callsystem_fd_t out, callsystem_fd_t err, const char* wd,
                                 int priority, pid_t* pid);

/* CALLSYSTEM_RUNNING while the child runs, its exit code once it ended (the
 * child is then reaped and *pid set to 0); -1 on failure, errno ECHILD when
 * *pid is 0. */
CALLSYSTEM_EXPORT int callsystem_running(pid_t* pid);
/* Waits for the child to end, reaps it, sets *pid to 0 and returns its exit
 * code; -1 on failure, errno ECHILD when *pid is 0. */
CALLSYSTEM_EXPORT int callsystem_finished(pid_t* pid);
/* Sends SIGKILL to the child; -1 with errno ECHILD when *pid is 0. */
CALLSYSTEM_EXPORT int callsystem_abort(pid_t* pid);

CALLSYSTEM_EXPORT int callsystem_pipe(callsystem_fd_t fds);
/* "/dev/null", read and write, as the same descriptor in both ends. */
CALLSYSTEM_EXPORT int callsystem_null(callsystem_fd_t fds);
/* READ: end 0 (end 1 is -1). CREATE (must not exist), APPEND, OVERWRITE:
 * write-only into end 1 (end 0 is -1); new files get mode 0774 less the
 * umask. Other modes: errno EINVAL. */
CALLSYSTEM_EXPORT int callsystem_open(const char* path, int mode, callsystem_fd_t fds);
/* A stdio stream on end 0 (READ) or end 1 (WRITE, CREATE, OVERWRITE, APPEND);
 * closing it closes that end. Other modes: errno EINVAL. */
CALLSYSTEM_EXPORT FILE* callsystem_fdopen(callsystem_fd_t fds, int mode);
/* Closes both ends (once when they are the same) and marks them -1. */
CALLSYSTEM_EXPORT int callsystem_close(callsystem_fd_t fds);

CALLSYSTEM_EXPORT int callsystem_argv_pushback(char*** argv, const char* arg);
CALLSYSTEM_EXPORT int callsystem_argv_pushfront(char*** argv, const char* arg);
/* A deep copy into *copy; a NULL list copies to NULL. */
CALLSYSTEM_EXPORT int callsystem_argv_dup(char** argv, char*** copy);
/* Frees every string and the array; the list becomes NULL. */
CALLSYSTEM_EXPORT int callsystem_argv_clear(char*** argv);
CALLSYSTEM_EXPORT int callsystem_env_clear(char*** env);

/* Replaces any entry of that name with "name=value" at the end. A name that
 * is empty or holds "=" fails with EINVAL. */
CALLSYSTEM_EXPORT int callsystem_setenv(char*** env, const char* name, const char* value);
/* Removes the entries of that name; -1 (EINVAL) when there is none. */
CALLSYSTEM_EXPORT int callsystem_unsetenv(char*** env, const char* name);
/* The value inside the list, or NULL. */
CALLSYSTEM_EXPORT char* callsystem_getenv(char** env, const char* name);
/* Copies the variable from this process's environment; EINVAL when unset. */
CALLSYSTEM_EXPORT int callsystem_exportenv(char*** env, const char* name);
/* Exports USER, LOGNAME, HOME, the locale, PATH, the terminal and a few
 * more, skipping unset ones; fails only when memory runs out. */
CALLSYSTEM_EXPORT int callsystem_exportdefaults(char*** env);
/* A new string (free it) in which "$$" becomes "$" and "${NAME}" the value
 * of NAME in the list; an unknown name, an unclosed brace or a "$" before
 * anything else gives NULL with EINVAL. */
CALLSYSTEM_EXPORT char* callsystem_env_subst(char** env, const char* text);

/* Copies of the path (free them): host and Unix paths are the same here. */
CALLSYSTEM_EXPORT char* callsystem_path_to_host(const char* path);
CALLSYSTEM_EXPORT char* callsystem_path_to_unix(const char* path);

#ifdef __cplusplus
}
#endif

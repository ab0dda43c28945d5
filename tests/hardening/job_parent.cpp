// Runs a program as a job-control shell runs a foreground job: in a process
// group of its own that owns the terminal, with this process as its parent
// in the same session. Only then does a stop signal really stop it (a
// session leader's group is orphaned and the kernel drops such stops).
// Ends with the program's exit status, or by its signal.
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    signal(SIGTTOU, SIG_IGN);  // to hand the terminal over from here
    pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        setpgid(0, 0);
        tcsetpgrp(STDIN_FILENO, getpid());
        signal(SIGTTOU, SIG_DFL);
        execv(argv[1], argv + 1);
        _exit(127);
    }
    setpgid(child, child);
    tcsetpgrp(STDIN_FILENO, child);
    int status = 0;
    // A stop is left alone: whoever stopped the job continues it.
    while (waitpid(child, &status, 0) < 0) {
    }
    if (WIFSIGNALED(status)) {
        signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

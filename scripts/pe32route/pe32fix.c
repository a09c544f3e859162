/*
 * pe32fix.so - preloaded (guest side, i386) into the 32-bit Wine loader running under
 * qemu-i386 user-mode emulation.
 *
 * qemu-user (seen with 7.2 and 10.0) builds the i386 signal frame after resetting its
 * exception index, so uc_mcontext.gregs[REG_TRAPNO] is always -1.  Wine's i386 signal
 * handlers classify faults by that trap number, so without this shim every access
 * violation, guard-page hit or integer divide-by-zero turns into
 * EXCEPTION_ILLEGAL_INSTRUCTION and Wine's own page-fault handling breaks.
 * The shim wraps the SIGSEGV/SIGBUS/SIGILL/SIGFPE/SIGTRAP handlers Wine installs and,
 * only when the trap number is -1, derives it from signal number and si_code the way the
 * Linux kernel would have set it.  Built without i386 libc headers by scripts/pe32route/setup.sh.
 */
typedef unsigned int u32;
#define NULL ((void *)0)
#define SIGILL 4
#define SIGTRAP 5
#define SIGBUS 7
#define SIGFPE 8
#define SIGSEGV 11
#define SA_SIGINFO 4
#define SI_KERNEL 0x80
#define RTLD_NEXT ((void *)-1l)
#define REG_TRAPNO 12
#define REG_ERR 13

typedef struct { int si_signo, si_errno, si_code; void *si_addr; } my_siginfo;      /* prefix */
typedef struct {
    union { void (*h)(int); void (*sa)(int, my_siginfo *, void *); } u;
    u32 mask[32];
    int flags;
    void (*restorer)(void);
} my_sigaction;                                                                    /* i386 glibc */
typedef struct {
    u32 uc_flags; void *uc_link;
    struct { void *ss_sp; int ss_flags; u32 ss_size; } uc_stack;
    int gregs[19];
} my_ucontext;                                                                     /* prefix */

extern void *dlsym(void *, const char *);
extern int unsetenv(const char *);
extern char *getenv(const char *);
extern int dprintf(int, const char *, ...);

static int (*real_sigaction)(int, const my_sigaction *, my_sigaction *);
static void (*saved[32])(int, my_siginfo *, void *);
static int debug;

static int trapno_for(int sig, int code)
{
    switch (sig) {
    case SIGSEGV: return (code == 1 || code == 2) ? 14 /* #PF */ : 13 /* #GP, INTO, BOUND */;
    case SIGBUS:  return code == 1 ? 17 /* #AC */ : (code == 2 || code == 3) ? 14 : 11 /* #NP/#SS */;
    case SIGILL:  return 6;                                            /* #UD */
    case SIGFPE:  return code == 1 ? 0 /* #DE */ : code == 2 ? 4 /* INTO */ : 16 /* #MF */;
    case SIGTRAP: return code == SI_KERNEL ? 3 /* int3 */ : 1 /* #DB */;
    }
    return -1;
}

static void wrapper(int sig, my_siginfo *si, void *ctx)
{
    my_ucontext *uc = ctx;
    if (uc && uc->gregs[REG_TRAPNO] == -1) {
        uc->gregs[REG_TRAPNO] = trapno_for(sig, si ? si->si_code : 0);
        if (debug) dprintf(2, "pe32fix: sig %d code %#x addr %p err %#x -> trapno %d\n", sig,
                           si ? si->si_code : 0, si ? si->si_addr : NULL, uc->gregs[REG_ERR],
                           uc->gregs[REG_TRAPNO]);
    }
    saved[sig](sig, si, ctx);
}

static int wrapped(int sig)
{
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP;
}

int sigaction(int sig, const my_sigaction *act, my_sigaction *old)
{
    if (!real_sigaction) real_sigaction = dlsym(RTLD_NEXT, "sigaction");
    if (sig <= 0 || sig >= 32 || !wrapped(sig)) return real_sigaction(sig, act, old);
    void (*prev)(int, my_siginfo *, void *) = saved[sig];
    int ret;
    if (act && (act->flags & SA_SIGINFO) && act->u.sa) {
        my_sigaction a = *act;
        a.u.sa = wrapper;
        ret = real_sigaction(sig, &a, old);
        if (!ret) saved[sig] = act->u.sa;
    } else {
        ret = real_sigaction(sig, act, old);
        if (!ret && act) saved[sig] = NULL;
    }
    if (!ret && old && old->u.sa == wrapper) old->u.sa = prev;
    return ret;
}
int __sigaction(int sig, const my_sigaction *act, my_sigaction *old) { return sigaction(sig, act, old); }

__attribute__((constructor)) static void init(void)
{
    debug = getenv("PE32FIX_DEBUG") != NULL;
    unsetenv("LD_PRELOAD");   /* keep the i386 preload out of native child processes */
}

#!/usr/bin/env python3
"""Runs a program under the system call filter of a systemd unit, without
systemd: the unit's SystemCallFilter= lines, expanded by
`systemd-analyze syscall-filter`, become a seccomp filter (x86-64 only, as
SystemCallArchitectures=native there) that kills the process on any other
call (the units answer EPERM; killing makes a call outside the list show
whatever the program does with the error); socket() of a family
RestrictAddressFamilies= leaves out fails with EAFNOSUPPORT, and with
MemoryDenyWriteExecute=yes memory both writable and executable, or made
executable later, fails with EPERM, as there.

    syscall_filter.py UNIT PROGRAM [ARGS...]
"""
import ctypes
import os
import re
import struct
import subprocess
import sys

UNISTD = "/usr/include/x86_64-linux-gnu/asm/unistd_64.h"
AUDIT_ARCH_X86_64 = 0xC000003E
X32_BIT = 0x40000000
PR_SET_NO_NEW_PRIVS, PR_SET_SECCOMP, SECCOMP_MODE_FILTER = 38, 22, 2
RET_ALLOW, RET_KILL_PROCESS, RET_ERRNO = 0x7FFF0000, 0x80000000, 0x00050000
EAFNOSUPPORT, EPERM = 97, 1
PROT_WRITE, PROT_EXEC = 2, 4
ALU_AND_K = 0x54
FAMILIES = {"AF_UNIX": 1, "AF_INET": 2, "AF_INET6": 10, "AF_NETLINK": 16, "AF_PACKET": 17}
LD_W_ABS, JEQ_K, JGE_K, RET_K = 0x20, 0x15, 0x35, 0x06


def group(name, seen):
    """The calls a name stands for: a group's members, recursively."""
    if not name.startswith("@"):
        return {name}
    if name in seen:
        return set()
    seen.add(name)
    out = subprocess.run(["systemd-analyze", "syscall-filter", name], check=True,
                         capture_output=True, text=True).stdout
    calls = set()
    for line in out.splitlines()[1:]:
        word = line.strip()
        if word and not word.startswith("#"):
            calls |= group(word, seen)
    return calls


def setting(unit, name):
    with open(unit, encoding="utf-8") as text:
        for line in text:
            if line.strip().startswith(name + "="):
                return line.strip().split("=", 1)[1]
    return None


def families(unit):
    """The address families of RestrictAddressFamilies=, or None for any."""
    names = setting(unit, "RestrictAddressFamilies")
    return None if names is None else sorted(FAMILIES[name] for name in names.split())


def allowed(unit):
    """The unit's allow list less its ~ lists, as systemd combines them."""
    allow, deny = None, set()
    with open(unit, encoding="utf-8") as text:
        for line in text:
            match = re.match(r"\s*SystemCallFilter=(~?)(.*)", line)
            if not match:
                continue
            names = set()
            for word in match.group(2).split():
                names |= group(word, set())
            if match.group(1):
                deny |= names
            else:
                allow = names if allow is None else allow | names
    if allow is None:
        sys.exit(f"syscall_filter: {unit} has no SystemCallFilter= allow list")
    return allow - deny


def numbers(names):
    table = {}
    with open(UNISTD, encoding="utf-8") as text:
        for line in text:
            match = re.match(r"#define __NR_(\w+) (\d+)", line)
            if match:
                table[match.group(1)] = int(match.group(2))
    # Calls this architecture lacks are left out, as systemd leaves them.
    return sorted(table[name] for name in names if name in table)


def refuse(op, nr, mask, value):
    """EPERM for the call nr when its third argument & mask == value."""
    return [op(JEQ_K, nr, 0, 5), op(LD_W_ABS, 32), op(ALU_AND_K, mask), op(JEQ_K, value, 0, 1),
            op(RET_K, RET_ERRNO | EPERM), op(LD_W_ABS, 0)]


def program(calls, socket_families, deny_write_execute):
    def op(code, k, jt=0, jf=0):
        return struct.pack("HBBI", code, jt, jf, k)

    body = [op(LD_W_ABS, 4), op(JEQ_K, AUDIT_ARCH_X86_64, 1, 0), op(RET_K, RET_KILL_PROCESS),
            op(LD_W_ABS, 0), op(JGE_K, X32_BIT, 0, 1), op(RET_K, RET_KILL_PROCESS)]
    if socket_families is not None:
        block = [op(LD_W_ABS, 16)]  # socket()'s first argument, the family
        for family in socket_families:
            block += [op(JEQ_K, family, 0, 1), op(RET_K, RET_ALLOW)]
        block.append(op(RET_K, RET_ERRNO | EAFNOSUPPORT))
        body += [op(JEQ_K, numbers({"socket"})[0], 0, len(block))] + block
    if deny_write_execute:
        body += refuse(op, numbers({"mmap"})[0], PROT_WRITE | PROT_EXEC, PROT_WRITE | PROT_EXEC)
        for call in ("mprotect", "pkey_mprotect"):
            body += refuse(op, numbers({call})[0], PROT_EXEC, PROT_EXEC)
    for nr in calls:
        body += [op(JEQ_K, nr, 0, 1), op(RET_K, RET_ALLOW)]
    body.append(op(RET_K, RET_KILL_PROCESS))
    return b"".join(body), len(body)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    unit = sys.argv[1]
    code, count = program(numbers(allowed(unit)), families(unit),
                          setting(unit, "MemoryDenyWriteExecute") == "yes")
    buffer = ctypes.create_string_buffer(code, len(code))

    class SockFprog(ctypes.Structure):
        _fields_ = [("len", ctypes.c_ushort), ("filter", ctypes.c_void_p)]

    fprog = SockFprog(count, ctypes.addressof(buffer))
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl.argtypes = [ctypes.c_int, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
    if libc.prctl(PR_SET_NO_NEW_PRIVS, 1, None, 0, 0) != 0 or \
            libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.byref(fprog), 0, 0) != 0:
        sys.exit("syscall_filter: prctl: " + os.strerror(ctypes.get_errno()))
    os.execv(sys.argv[2], sys.argv[2:])


main()

#!/usr/bin/python3
"""quorvel-batch against the ezdxf script doing the same replacement on copies of the same
drawings, on two sets: 92 drawings whose time goes to saving (20 matching texts among 8,000 other
entities each) and 100 drawings of many changes (1,000 matching texts among 5,000 other entities
each); --jobs 2 against --jobs 1, the peak memory of one job against the size of the drawing,
what editing each drawing in a worker process costs against editing it in the program's own
process, the matching options against the script matching alike, and the HTML report with
pictures against the CSV report on one large drawing. With --kinds all (the default) the matching
texts are of every kind and both sides replace every kind; --kinds text keeps to single-line texts.

  batch_bench [--drawings N] [--rounds R] [--kinds all|text]     (N defaults to 100, R to 7)
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

PROGRAM = "@QUORVEL_BATCH@"
DRAWINGS_SCRIPT = "@DRAWINGS_SCRIPT@"
EZDXF_SCRIPT = "@EZDXF_SCRIPT@"
PYTHON = "/usr/bin/python3"
SEARCH, REPLACEMENT = "旧文本", "新文字"
KINDS = ["--kinds", "all"]


def copies(original, folder, count):
    os.makedirs(folder)
    paths = []
    for index in range(count):
        path = os.path.join(folder, "drawing-%03d.dwg" % index)
        shutil.copyfile(original, path)
        paths.append(path)
    # A user's drawings are on disk before a run: the copies' write-back is no contender's work
    # (quorvel-batch flushes a drawing before it keeps it as the backup).
    os.sync()
    return paths


def timed(command, env=None):
    """Wall time, processor time (user and system) and peak resident memory (KiB) of a command."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, check=True,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, int(done.stderr.strip().splitlines()[-1])


def batch(folder, jobs, data, in_process=False):
    env = dict(os.environ, XDG_DATA_HOME=data)
    if in_process:
        env["QUORVEL_BATCH_IN_PROCESS"] = "1"
    return timed([PROGRAM, "--find", SEARCH, "--replace", REPLACEMENT, "--jobs", str(jobs)] +
                 KINDS + [folder], env)


def isolation(original, root, count, rounds, data):
    """Worker processes against the engine in the program's own process, --jobs 1, in alternating
    rounds on fresh copies: processor time (the workers' included) is what a loaded machine does
    not stretch."""
    times = {False: [], True: []}
    for index in range(rounds):
        for in_process in ((True, False) if index % 2 == 0 else (False, True)):
            folder = os.path.join(root, "isolation-%d-%d" % (index, in_process))
            copies(original, folder, count)
            _, cpu, _ = batch(folder, 1, data, in_process)
            times[in_process].append(cpu)
            shutil.rmtree(folder)
    inside, workers = sorted(times[True]), sorted(times[False])
    median = lambda values: values[len(values) // 2]
    print("in process, %d rounds:       processor %s s" % (rounds, ", ".join(
        "%.2f" % t for t in times[True])))
    print("worker processes, %d rounds: processor %s s" % (rounds, ", ".join(
        "%.2f" % t for t in times[False])))
    print("worker processes cost %+.1f%% processor time (median against median; goal under 10%%)"
          % (100 * (median(workers) / median(inside) - 1)))


def compare(root, name, original, count, data):
    """quorvel-batch --jobs 1 and --jobs 2 against the ezdxf script over `count` copies."""
    folder = os.path.join(root, name)
    one = copies(original, os.path.join(folder, "jobs1"), count)
    copies(original, os.path.join(folder, "jobs2"), count)
    ezdxf = copies(original, os.path.join(folder, "ezdxf"), count)
    jobs1, cpu1, peak1 = batch(os.path.dirname(one[0]), 1, data)
    jobs2, cpu2, peak2 = batch(os.path.join(folder, "jobs2"), 2, data)
    ezdxf_wall, ezdxf_cpu, _ = timed([PYTHON, EZDXF_SCRIPT] + KINDS + [SEARCH, REPLACEMENT] +
                                     ezdxf)
    print("quorvel-batch --jobs 1: %.2f s wall, %.2f s processor (%.1f drawings/s)"
          % (jobs1, cpu1, count / jobs1))
    print("quorvel-batch --jobs 2: %.2f s wall, %.2f s processor; %.2fx --jobs 1 (goal 1.7x)"
          % (jobs2, cpu2, jobs1 / jobs2))
    print("ezdxf script:           %.2f s wall, %.2f s processor" % (ezdxf_wall, ezdxf_cpu))
    print("quorvel-batch --jobs 1 against ezdxf: %.1fx faster by wall time, %.1fx by "
          "processor time" % (ezdxf_wall / jobs1, ezdxf_cpu / cpu1))
    print("quorvel-batch --jobs 2 against ezdxf: %.1fx faster by wall time, %.1fx by processor "
          "time (goal 40x by wall time)" % (ezdxf_wall / jobs2, ezdxf_cpu / cpu2))
    shutil.rmtree(folder)
    return peak1, peak2


MATCHING = ["--ignore-case", "--whole-word", "--width-insensitive"]


def matching(root, original, count, data):
    """The matching options, --jobs 2, against the ezdxf script matching alike."""
    folder = os.path.join(root, "matching")
    copies(original, os.path.join(folder, "batch"), count)
    ezdxf = copies(original, os.path.join(folder, "ezdxf"), count)
    env = dict(os.environ, XDG_DATA_HOME=data)
    wall, cpu, _ = timed([PROGRAM] + KINDS + MATCHING +
                         ["--find", SEARCH, "--replace", REPLACEMENT, "--jobs", "2",
                          os.path.join(folder, "batch")], env)
    ezdxf_wall, ezdxf_cpu, _ = timed([PYTHON, EZDXF_SCRIPT] + KINDS + MATCHING +
                                     [SEARCH, REPLACEMENT] +
                                     ezdxf)
    print("quorvel-batch %s --jobs 2: %.2f s wall, %.2f s processor"
          % (" ".join(KINDS + MATCHING), wall, cpu))
    print("ezdxf script with the same matching:  %.2f s wall, %.2f s processor"
          % (ezdxf_wall, ezdxf_cpu))
    print("quorvel-batch against ezdxf: %.1fx faster by wall time, %.1fx by processor time "
          "(goal 40x by wall time)" % (ezdxf_wall / wall, ezdxf_cpu / cpu))
    shutil.rmtree(folder)


def report(root, data):
    """The HTML report with its pictures against the CSV report: a dry run over one large
    drawing, the best of three runs each."""
    drawing = os.path.join(root, "large.dwg")
    subprocess.run([PYTHON, DRAWINGS_SCRIPT, "bench", drawing, "1000", "100000"], check=True)
    print("report of one drawing of %.1f MB, 1,000 matching texts among 100,000 other entities "
          "(dry run):" % (os.path.getsize(drawing) / 1e6))
    env = dict(os.environ, XDG_DATA_HOME=data)
    for kind in ("csv", "html"):
        path = os.path.join(root, "report." + kind)
        wall, cpu, peak = min(timed([PROGRAM, "--dry-run", "--find", SEARCH, "--replace",
                                     REPLACEMENT, drawing, "--report", path], env)
                              for _ in range(3))
        print("  %-4s %.2f s wall, %.2f s processor, peak %.0f MB, report %.2f MB"
              % (kind, wall, cpu, peak / 1024, os.path.getsize(path) / 1e6))


def main():
    global KINDS
    count, rounds = 100, 7
    arguments = sys.argv[1:]
    while len(arguments) >= 2:
        if arguments[0] == "--drawings":
            count = int(arguments[1])
        elif arguments[0] == "--rounds":
            rounds = int(arguments[1])
        elif arguments[0] == "--kinds":
            KINDS = ["--kinds", arguments[1]] if arguments[1] == "all" else []
        arguments = arguments[2:]
    kinds = "every kind" if KINDS else "single-line texts"
    with tempfile.TemporaryDirectory(prefix="batch-bench-") as root:
        data = os.path.join(root, "data")
        # Other work on the machine stretches wall times; processor times are shown beside them.
        print("load average: %.1f on %d cores" % (os.getloadavg()[0], os.cpu_count()))
        # A drawing whose time goes to saving: few changed texts among many other entities, as in
        # a real sheet.
        sparse = os.path.join(root, "sparse.dwg")
        subprocess.run([PYTHON, DRAWINGS_SCRIPT, "bench", sparse, "20", "8000"] + KINDS[1:],
                       check=True)
        sparse_count = max(1, count * 92 // 100)
        print("set 1: %d drawings of %.2f MB, 20 matching texts (%s) among 8,000 other entities "
              "each" % (sparse_count, os.path.getsize(sparse) / 1e6, kinds))
        compare(root, "sparse", sparse, sparse_count, data)

        original = os.path.join(root, "original.dwg")
        subprocess.run([PYTHON, DRAWINGS_SCRIPT, "bench", original, "1000", "5000"] + KINDS[1:],
                       check=True)
        size = os.path.getsize(original)
        print("set 2: %d drawings of %.2f MB, 1,000 matching texts (%s) among 5,000 other "
              "entities each" % (count, size / 1e6, kinds))
        _, _, idle = timed([PROGRAM, "--help"])
        peak1, peak2 = compare(root, "dense", original, count, data)
        matching(root, original, count, data)
        # Memory a job adds to the program at rest.
        print("peak memory: %.1f MB at rest, %.1f MB with --jobs 1, %.1f MB with --jobs 2"
              % (idle / 1024, peak1 / 1024, peak2 / 1024))
        print("memory per job: %.1f MB, %.1fx the drawing"
              % ((peak1 - idle) / 1024, (peak1 - idle) * 1024 / size))
        isolation(original, root, count, rounds, data)
        report(root, data)


if __name__ == "__main__":
    main()

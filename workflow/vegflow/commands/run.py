"""run [snakemake option...]: runs the workflow on the output folder of its configuration, one run
at a time: a live run on the same folder refuses a second one; the lock and the temporary files
that a killed run left are cleared (and said so); snakemake resumes with --rerun-incomplete.
Status: snakemake's, or 1 when the run cannot start."""

import os
import shlex
import signal
import subprocess
import sys

import yaml

from vegflow import runs

SNAKEFILE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "..",
                         "Snakefile")
USAGE = ("usage: python3 -m vegflow run --configfile FILE [snakemake option...]\n"
         "  runs snakemake on workflow/Snakefile with these options and --rerun-incomplete;\n"
         "  the same command resumes a run that was killed or stopped\n")


def option_values(argv, names):
    """Values of options in `names` (each taking every word up to the next option)."""
    values = []
    for i, word in enumerate(argv):
        name, _, value = word.partition("=")
        if name not in names:
            continue
        if value:
            values.append(value)
            continue
        for following in argv[i + 1:]:
            if following.startswith("-"):
                break
            values.append(following)
    return values


def output_folder(argv):
    """The run's folder and its output folder, from --directory, the configuration files and
    --config out=..."""
    directory = (option_values(argv, ("--directory", "-d")) or ["."])[-1]
    config = {}
    for path in option_values(argv, ("--configfile", "--configfiles")):
        with open(path) as handle:
            config.update(yaml.safe_load(handle) or {})
    for item in option_values(argv, ("--config", "-C")):
        key, _, value = item.partition("=")
        config[key] = value
    return directory, os.path.join(directory, str(config.get("out", "results")))


def say(text):
    sys.stderr.write("vegflow run: %s\n" % text)
    sys.stderr.flush()


def clear_leftovers(directory, out, previous):
    """Clears what a killed run left: its record, snakemake's lock, unheld temporary files. Returns
    a reason to refuse the run, or None."""
    if previous:
        say("%s ended without finishing (killed or lost); its lock is cleared and this run "
            "resumes it" % runs.describe(previous))
    locks = runs.engine_locks(directory)
    if locks:
        pid = runs.live_engine(directory)
        if pid is not None:
            return ("snakemake (pid %d) is running in %s, started outside this command; wait "
                    "for it to end" % (pid, os.path.abspath(directory)))
        for path in locks:
            os.remove(path)
        say("removed the stale snakemake lock of %s (no snakemake runs there)"
            % os.path.abspath(directory))
    temporaries = runs.stale_temporaries(out)
    for path in temporaries:
        runs.remove_tree(path)
    if temporaries:
        say("removed %d temporary file(s) of killed steps under %s"
            % (len(temporaries), os.path.abspath(out)))
    return None


def main(argv):
    if not argv or argv[0] in ("-h", "--help"):
        sys.stdout.write(USAGE)
        return 0 if argv else 2
    try:
        directory, out = output_folder(argv)
    except (OSError, yaml.YAMLError) as err:
        say("cannot read the configuration: %s" % err)
        return 1
    command = ["snakemake"]
    if not option_values(argv, ("-s", "--snakefile")):
        command += ["-s", os.path.normpath(SNAKEFILE)]
    command += argv
    if any(w in argv for w in ("-n", "--dry-run", "--dryrun", "--unlock")):
        return subprocess.run(command).returncode  # writes nothing: no lock, nothing cleared
    if "--rerun-incomplete" not in argv and "--ri" not in argv:
        command.append("--rerun-incomplete")
    lock = runs.RunLock(out)
    try:
        previous = lock.acquire()
    except runs.Busy as err:
        say(str(err))
        return 1
    except OSError as err:
        say("cannot lock %s: %s" % (out, err))
        return 1
    try:
        refusal = clear_leftovers(directory, out, previous)
    except OSError as err:
        refusal = "cannot clear what the last run left in %s: %s" % (out, err)
    if refusal:
        say(refusal)
        lock.drop()
        return 1
    try:
        lock.record(" ".join(shlex.quote(w) for w in ["python3", "-m", "vegflow", "run"] + argv))
    except OSError as err:
        # The flock alone keeps a second run out; the record only names this run in messages.
        say("cannot write this run's record in %s: %s" % (lock.path, err))
    try:
        proc = subprocess.Popen(command, pass_fds=(lock.fd,))
    except OSError as err:
        lock.release()
        say("cannot start snakemake: %s" % err)
        return 1
    # A stop asked of this command reaches snakemake, which stops its steps; Ctrl-C reaches both
    # from the terminal already.
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, lambda sig, _frame: proc.send_signal(sig))
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    status = proc.wait()
    lock.release()
    return status

#!/usr/bin/env python3
"""State of one Slurm job for snakemake's generic cluster executor: prints running, success or
failed.

Usage: status.py <job id as sbatch --parsable printed it, "id" or "id;cluster">
Asks sacct first (the job's final state survives there when the cluster keeps accounting), then
scontrol (jobs the controller still holds). When neither can be reached, the job counts as running
and snakemake asks again; a job that both deny knowing counts as failed, so a lost job is never
taken for a finished one.
"""

import subprocess
import sys

RUNNING = {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING", "SUSPENDED", "REQUEUED",
           "REQUEUE_FED", "REQUEUE_HOLD", "RESIZING", "SIGNALING", "STAGE_OUT", "STOPPED"}
TIMEOUT = 30


def verdict(state):
    """running, success or failed for a Slurm job state such as "CANCELLED by 0"."""
    state = state.split()[0].rstrip("+") if state.split() else ""
    if state == "COMPLETED":
        return "success"
    if state in RUNNING:
        return "running"
    return "failed"


def ask(command):
    """(exit status, output) of a command, (None, "") when it could not run in time."""
    try:
        proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True, timeout=TIMEOUT)
    except (OSError, subprocess.TimeoutExpired):
        return None, ""
    return proc.returncode, proc.stdout + proc.stderr


def sacct_state(jobid):
    status, text = ask(["sacct", "-n", "-X", "-P", "--format=State", "-j", jobid])
    if status != 0:
        return None
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[0] if lines else None


def scontrol_state(jobid):
    """The job's state; "" when the controller answers that it does not know the job; None when
    the controller cannot be asked."""
    status, text = ask(["scontrol", "-o", "show", "job", jobid])
    for field in text.split():
        if field.startswith("JobState="):
            return field.split("=", 1)[1]
    if "Invalid job id" in text:
        return ""
    return None


def main(argv):
    if len(argv) != 2:
        print("usage: status.py <job id>", file=sys.stderr)
        return 2
    jobid = argv[1].split(";")[0].strip()
    state = sacct_state(jobid)
    if state is None:
        state = scontrol_state(jobid)
    if state is None:
        print("running")
        print("status.py: cannot ask Slurm about job %s; asking again later" % jobid,
              file=sys.stderr)
        return 0
    if state == "":
        print("status.py: Slurm does not know job %s" % jobid, file=sys.stderr)
        print("failed")
        return 0
    print(verdict(state))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""The sbatch profile's job-status script against stand-ins for sacct and scontrol: the answer
snakemake gets for each state, and which source wins when one of them cannot answer."""

import os
import stat
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
STATUS = os.path.join(HERE, "..", "..", "workflow", "profiles", "slurm-sbatch", "status.py")


def tool(folder, name, status, text):
    path = os.path.join(folder, name)
    with open(path, "w") as handle:
        handle.write("#!/bin/sh\nprintf '%%s' '%s'\nexit %d\n" % (text, status))
    os.chmod(path, stat.S_IRWXU)


class JobStatus(unittest.TestCase):
    def test_answers(self):
        disabled = (1, "sacct: error: Slurm accounting storage is disabled\n")
        cases = [
            # sacct, scontrol, answer
            ((0, "COMPLETED\n"), None, "success"),
            ((0, "RUNNING\n"), None, "running"),
            ((0, "PENDING\n"), None, "running"),
            ((0, "COMPLETING\n"), None, "running"),
            ((0, "CANCELLED by 0\n"), None, "failed"),
            ((0, "FAILED\n"), None, "failed"),
            ((0, "OUT_OF_MEMORY\n"), None, "failed"),
            ((0, "TIMEOUT\n"), None, "failed"),
            # Not in the accounting yet, or no accounting: the controller answers.
            ((0, ""), (0, "JobId=7 JobName=x JobState=RUNNING Reason=None"), "running"),
            (disabled, (0, "JobId=7 JobName=x JobState=COMPLETED Reason=None"), "success"),
            (disabled, (0, "JobId=7 JobName=x JobState=CANCELLED Reason=None"), "failed"),
            # A job nobody knows is not taken for a finished one.
            (disabled, (1, "slurm_load_jobs error: Invalid job id specified"), "failed"),
            # Slurm cannot be reached: ask again later.
            (disabled, (1, "slurm_load_jobs error: Unable to contact slurm controller"), "running"),
        ]
        for sacct, scontrol, want in cases:
            with self.subTest(sacct=sacct, scontrol=scontrol), \
                    tempfile.TemporaryDirectory() as folder:
                tool(folder, "sacct", *sacct)
                tool(folder, "scontrol", *(scontrol or (1, "scontrol must not be asked")))
                proc = subprocess.run([sys.executable, STATUS, "7;local"], stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True,
                                      env=dict(os.environ, PATH=folder + os.pathsep + os.defpath))
                self.assertEqual((proc.returncode, proc.stdout), (0, want + "\n"), proc.stderr)


if __name__ == "__main__":
    unittest.main()

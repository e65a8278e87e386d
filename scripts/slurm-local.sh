#!/usr/bin/env bash
# A single-node Slurm on this machine, for trying the workflow's cluster profiles: munge, a MariaDB
# server, slurmdbd (accounting, so that sacct and snakemake's built-in executor work), slurmctld and
# slurmd, all run as root from Debian's packages with every file they keep in one folder.
#
# Usage: scripts/slurm-local.sh start|stop|status [folder]
#   folder   where configuration, state, sockets and logs go (default: $SLURM_LOCAL_DIR, else
#            slurm-local/ under $TMPDIR or /tmp; keep it short, it holds Unix sockets)
#   start    starts what is not running yet and waits (bounded) until the node takes jobs;
#            prints the line to paste into a shell: export SLURM_CONF=<folder>/etc/slurm.conf
#   stop     cancels every job, then stops each daemon it started (by the pid in its pid file),
#            waiting at most a few seconds for each before killing it
#   status   one line per daemon; exits 0 when all of them run
# Ports: $SLURM_LOCAL_PORT and the next three (default 6817: slurmctld, slurmd, slurmdbd, MariaDB),
# all bound to the loopback address.
# Set SLURM_LOCAL_ACCOUNTING=0 to run without slurmdbd and MariaDB (the generic executor works
# without them; sacct and the built-in executor do not).
set -euo pipefail

cmd=${1:-}
dir=${2:-${SLURM_LOCAL_DIR:-${TMPDIR:-/tmp}/slurm-local}}
base_port=${SLURM_LOCAL_PORT:-6817}
accounting=${SLURM_LOCAL_ACCOUNTING:-1}
host=$(hostname -s)
cluster=local

die() { echo "slurm-local: $*" >&2; exit 1; }

case $cmd in
start | stop | status) ;;
*) die "usage: slurm-local.sh start|stop|status [folder]" ;;
esac

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
etc=$dir/etc
conf=$etc/slurm.conf
export SLURM_CONF=$conf
ctld_port=$base_port
slurmd_port=$((base_port + 1))
dbd_port=$((base_port + 2))
db_port=$((base_port + 3))
db_socket=$dir/db/mysqld.sock

# The daemons in start order: name (also the process name) and pid file. Without accounting,
# MariaDB and slurmdbd are not started, but stop still stops them when they run.
all_daemons=("munged:$dir/munge/munged.pid" "mariadbd:$dir/db/mariadbd.pid" "slurmdbd:$dir/slurmdbd.pid"
    "slurmctld:$dir/slurmctld.pid" "slurmd:$dir/slurmd.pid")
daemons=("munged:$dir/munge/munged.pid")
if [ "$accounting" = 1 ]; then
    daemons+=("mariadbd:$dir/db/mariadbd.pid" "slurmdbd:$dir/slurmdbd.pid")
fi
daemons+=("slurmctld:$dir/slurmctld.pid" "slurmd:$dir/slurmd.pid")

pid_of() { # name, pid file -> pid of the live process of that name, or nothing (a stale file
    # whose number now belongs to another process is ignored)
    local pid
    pid=$(cat "$2" 2>/dev/null || true)
    if [[ $pid =~ ^[0-9]+$ ]] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$1" ]; then
        echo "$pid"
    fi
}

running() { [ -n "$(pid_of "$1" "$2")" ]; }

wait_for() { # seconds, description, command...: polls the command (itself bounded) until it succeeds
    local limit=$1 deadline=$((SECONDS + $1)) what=$2
    shift 2
    while ((SECONDS < deadline)); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.5
    done
    die "$what did not come up within $limit s (logs in $dir/log)"
}

need() {
    local missing=()
    for tool in "$@"; do command -v "$tool" >/dev/null 2>&1 || missing+=("$tool"); done
    [ ${#missing[@]} -eq 0 ] || die "missing ${missing[*]}; run scripts/install-deps.sh"
}

write_config() {
    local cpus mem_kb mem_mb
    cpus=$(nproc)
    mem_kb=$(awk '/^MemTotal:/ {print $2}' /proc/meminfo)
    mem_mb=$((mem_kb * 9 / 10 / 1024)) # leave a tenth to the system
    mkdir -p "$etc" "$dir/state" "$dir/spool" "$dir/log"
    {
        echo "ClusterName=$cluster"
        echo "SlurmctldHost=$host(127.0.0.1)"
        echo "SlurmctldPort=$ctld_port"
        echo "SlurmdPort=$slurmd_port"
        echo "SlurmUser=root"
        echo "SlurmdUser=root"
        echo "AuthType=auth/munge"
        echo "AuthInfo=socket=$dir/munge/munge.socket"
        echo "StateSaveLocation=$dir/state"
        echo "SlurmdSpoolDir=$dir/spool"
        echo "SlurmctldPidFile=$dir/slurmctld.pid"
        echo "SlurmdPidFile=$dir/slurmd.pid"
        echo "SlurmctldLogFile=$dir/log/slurmctld.log"
        echo "SlurmdLogFile=$dir/log/slurmd.log"
        echo "ProctrackType=proctrack/linuxproc"
        echo "TaskPlugin=task/none"
        echo "JobAcctGatherType=jobacct_gather/linux"
        if [ "$accounting" = 1 ]; then
            echo "AccountingStorageType=accounting_storage/slurmdbd"
            echo "AccountingStorageHost=127.0.0.1"
            echo "AccountingStoragePort=$dbd_port"
            # The munge socket for connections to slurmdbd (it does not follow AuthInfo).
            echo "AccountingStoragePass=$dir/munge/munge.socket"
        else
            echo "AccountingStorageType=accounting_storage/none"
        fi
        echo "SelectType=select/cons_tres"
        echo "SelectTypeParameters=CR_Core_Memory"
        echo "MpiDefault=none"
        echo "ReturnToService=2"
        echo "SchedulerType=sched/backfill"
        # Short intervals: jobs of a few seconds start and are reaped without waiting.
        echo "SchedulerParameters=sched_min_interval=0"
        echo "MinJobAge=300"
        echo "KillWait=5"
        echo "NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$mem_mb State=UNKNOWN"
        echo "PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP"
    } >"$conf"
    if [ "$accounting" = 1 ]; then
        (
            umask 077
            {
                echo "AuthType=auth/munge"
                echo "AuthInfo=socket=$dir/munge/munge.socket"
                echo "DbdHost=$host"
                echo "DbdAddr=127.0.0.1"
                echo "DbdPort=$dbd_port"
                echo "SlurmUser=root"
                echo "PidFile=$dir/slurmdbd.pid"
                echo "LogFile=$dir/log/slurmdbd.log"
                echo "StorageType=accounting_storage/mysql"
                echo "StorageHost=127.0.0.1"
                echo "StoragePort=$db_port"
                echo "StorageUser=slurm"
                echo "StoragePass=slurm"
                echo "StorageLoc=slurm_acct_db"
            } >"$etc/slurmdbd.conf"
        )
    fi
}

start_munge() {
    running munged "$dir/munge/munged.pid" && return 0
    mkdir -p "$dir/munge"
    chmod 755 "$dir/munge"
    if [ ! -s "$dir/munge/munge.key" ]; then
        (umask 077 && dd if=/dev/urandom of="$dir/munge/munge.key" bs=1024 count=1 2>/dev/null)
    fi
    munged --force --socket="$dir/munge/munge.socket" --key-file="$dir/munge/munge.key" \
        --pid-file="$dir/munge/munged.pid" --log-file="$dir/log/munged.log" \
        --seed-file="$dir/munge/munged.seed" 2>>"$dir/log/munged.log"
    wait_for 10 munged timeout 10 munge --socket="$dir/munge/munge.socket" -n
}

db() { timeout 20 mariadb --no-defaults --socket="$db_socket" -u root "$@"; }

start_mariadb() {
    running mariadbd "$dir/db/mariadbd.pid" && return 0
    mkdir -p "$dir/db"
    if [ ! -d "$dir/db/data/mysql" ]; then
        mariadb-install-db --no-defaults --user=root --datadir="$dir/db/data" \
            --auth-root-authentication-method=normal --skip-test-db \
            >"$dir/log/mariadb-install.log" 2>&1 ||
            die "mariadb-install-db failed (log: $dir/log/mariadb-install.log)"
    fi
    setsid mariadbd --no-defaults --user=root --datadir="$dir/db/data" --socket="$db_socket" \
        --pid-file="$dir/db/mariadbd.pid" --bind-address=127.0.0.1 --port="$db_port" \
        --log-error="$dir/log/mariadb.log" --innodb-buffer-pool-size=64M </dev/null \
        >/dev/null 2>&1 &
    wait_for 60 MariaDB db -e 'SELECT 1'
    db -e "CREATE USER IF NOT EXISTS 'slurm'@'127.0.0.1' IDENTIFIED BY 'slurm';
           CREATE USER IF NOT EXISTS 'slurm'@'localhost' IDENTIFIED BY 'slurm';
           GRANT ALL ON slurm_acct_db.* TO 'slurm'@'127.0.0.1';
           GRANT ALL ON slurm_acct_db.* TO 'slurm'@'localhost';"
}

start_slurmdbd() {
    running slurmdbd "$dir/slurmdbd.pid" && return 0
    slurmdbd
    wait_for 60 slurmdbd timeout 10 sacctmgr -n list cluster
    if [ -z "$(sacctmgr -n -P list cluster format=cluster | grep -x "$cluster" || true)" ]; then
        sacctmgr -i add cluster "$cluster" >/dev/null
    fi
}

node_idle() { timeout 10 sinfo -h -n "$host" -o %t | grep -Eq '^(idle|mix|alloc)'; }

start_slurm() {
    if ! running slurmctld "$dir/slurmctld.pid"; then
        slurmctld
        wait_for 30 slurmctld timeout 10 scontrol ping
    fi
    if ! running slurmd "$dir/slurmd.pid"; then
        slurmd
    fi
    wait_for 60 "the node" node_idle
}

stop_pid() { # name, pid file
    local pid
    pid=$(pid_of "$1" "$2")
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    for ((i = 0; i < 40; i++)); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.25
    done
    echo "slurm-local: $1 ($pid) did not stop within 10 s; killing it" >&2
    kill -9 "$pid" 2>/dev/null || true
}

case $cmd in
start)
    if [ "$(id -u)" -ne 0 ]; then die "start runs the daemons as root; run it as root"; fi
    need munged munge slurmctld slurmd sbatch sinfo scontrol
    if [ "$accounting" = 1 ]; then need slurmdbd sacctmgr mariadbd mariadb mariadb-install-db; fi
    write_config
    start_munge
    if [ "$accounting" = 1 ]; then
        start_mariadb
        start_slurmdbd
    fi
    start_slurm
    echo "slurm-local: running in $dir; for the Slurm commands:"
    echo "export SLURM_CONF=$conf"
    ;;
stop)
    if [ -f "$conf" ] && running slurmctld "$dir/slurmctld.pid"; then
        # Cancelled jobs end within KillWait; their step daemons go with them.
        scancel --quiet --partition=main 2>/dev/null || true
        for ((i = 0; i < 40; i++)); do
            [ -z "$(squeue -h -o %i 2>/dev/null)" ] && break
            sleep 0.5
        done
    fi
    for ((n = ${#all_daemons[@]} - 1; n >= 0; n--)); do
        stop_pid "${all_daemons[n]%%:*}" "${all_daemons[n]#*:}"
    done
    ;;
status)
    all=0
    for entry in "${daemons[@]}"; do
        pid=$(pid_of "${entry%%:*}" "${entry#*:}")
        if [ -n "$pid" ]; then
            echo "${entry%%:*}: running ($pid)"
        else
            echo "${entry%%:*}: stopped"
            all=1
        fi
    done
    exit $all
    ;;
esac

# SPDX-License-Identifier: GPL-3.0-or-later
"""Time per spectrum of a batch fit: zeltfit-cli, the module serially, batch_fit on 2 threads and
on a 2-worker LocalCluster, over COUNT copies of the demo measurements (zeltfit-makedemo's
three spectra), with T_exc fitted. Every way must give zeltfit-cli's rows. Beside the wall-clock
time, the processor time per spectrum (of zeltfit-cli, of this process, of the cluster's workers):
on a machine that other sessions keep busy, the scheduler shares the cores among sessions, so the
wall-clock speed-up of threads and workers shows only on an idle machine, while the processor
time shows the module's overhead whatever the load.

    python3 bench/python_batch.py ZELTFIT-CLI SHARE-FOLDER COUNT
"""

import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import zeltfit


def main(cli, share, count):
    ini = os.path.join(share, "zeltfit.ini")
    demo = [os.path.join(share, "measurements", n)
            for n in ("argon_1e16.txt", "argon_5e16.txt", "argon_2e17.txt")]
    folder = tempfile.mkdtemp()
    try:
        files = []
        for i in range(count):
            files.append(os.path.join(folder, f"run_{i:05d}.txt"))
            shutil.copyfile(demo[i % 3], files[-1])
        fit = {"fit_temperature": True}
        frames, results, processor = {}, {}, {}

        def run(name, work, used=time.process_time):
            start, used_before = time.perf_counter(), used()
            frames[name] = work()
            results[name] = time.perf_counter() - start
            processor[name] = used() - used_before

        def program_time():
            usage = resource.getrusage(resource.RUSAGE_CHILDREN)
            return usage.ru_utime + usage.ru_stime

        run("zeltfit-cli batch fit", lambda: zeltfit.read_tsv(subprocess.run(
            [cli, "--ini", ini, "--species", "Ar I", "batch", "fit", folder, "--fit-temperature",
             "--format", "tsv"], check=True, capture_output=True, text=True).stdout),
            program_time)
        run("batch_fit, serial", lambda: zeltfit.batch_fit(files, ini, "Ar I", **fit))
        with ThreadPoolExecutor(2) as pool:
            run("batch_fit, 2 threads",
                lambda: zeltfit.batch_fit(files, ini, "Ar I", client=pool, **fit))
        from dask.distributed import Client, LocalCluster
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None, host="127.0.0.1") as cluster, \
                Client(cluster) as client:
            client.run(lambda: __import__("zeltfit"))
            run("LocalCluster, 2 workers",
                lambda: zeltfit.batch_fit(files, ini, "Ar I", client=client, **fit),
                lambda: sum(client.run(time.process_time).values()))
        program = frames.pop("zeltfit-cli batch fit")
        program = program[["Filename"] + [c for c in program.columns if c != "Filename"]]
        for name, frame in frames.items():
            if not frame.equals(program):
                raise SystemExit(f"{name}: not the rows of zeltfit-cli")
        serial = results["batch_fit, serial"]
        print(f"{count} spectra, load average {os.getloadavg()[0]:.1f}")
        for name, seconds in results.items():
            print(f"{name:28s} {seconds / count * 1e3:8.3f} ms/spectrum  {serial / seconds:5.2f} x"
                  f"  processor {processor[name] / count * 1e3:6.3f} ms/spectrum")
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))

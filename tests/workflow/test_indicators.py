"""Unit tests of the indicators: the sums and indicators of a period against a per-cell second
computation, national sums against one pass over the joined regions, the time series rebuilt from
its files, and the crop mask's grid checks. Needs numpy and GDAL's Python bindings (else skipped,
exit 77)."""

import json
import os
import sys
import tempfile
import unittest

try:
    import numpy as np
    from osgeo import gdal, osr
except ImportError:
    print("skipped: missing numpy or GDAL's Python bindings")
    sys.exit(77)

from vegflow import indicators

gdal.UseExceptions()


def oracle(vci, ndvi, history, crop, threshold, min_years):
    """{indicator: (value, cells)} cell by cell, written from the definitions."""
    cells = [(v, n, [h[i] for h in history], None if crop is None else crop[i])
             for i, (v, n) in enumerate(zip(vci, ndvi)) if v != 255]
    counted = [c for c in cells if c[0] <= 250]
    out = {"vci_mean": (sum(c[0] / 250.0 for c in counted) / len(counted) if counted else None,
                        len(counted)),
           "vci_poor_share": (100.0 * sum(1 for c in counted if c[0] / 250.0 < threshold) /
                              len(counted) if counted else None, len(counted))}
    if crop is not None:
        crops = [c for c in counted if c[3]]
        out["crop_vci_mean"] = (sum(c[0] / 250.0 for c in crops) / len(crops) if crops else None,
                                len(crops))
        out["crop_vci_poor_share"] = (100.0 * sum(1 for c in crops if c[0] / 250.0 < threshold) /
                                      len(crops) if crops else None, len(crops))
    pairs = []
    for _, n, past, _ in cells:
        kept = [h / 125.0 - 1 for h in past if h <= 250]
        if n <= 250 and len(kept) >= min_years:
            pairs.append((n / 125.0 - 1, sum(kept) / len(kept)))
    if len(history) >= min_years and pairs:
        now = sum(p[0] for p in pairs) / len(pairs)
        then = sum(p[1] for p in pairs) / len(pairs)
        out.update(ndvi_mean=(now, len(pairs)), ndvi_history_mean=(then, len(pairs)),
                   ndvi_anomaly=(now - then, len(pairs)),
                   ndvi_anomaly_percent=(100 * (now - then) / then if then > 0 else None,
                                         len(pairs)))
    else:
        for name in ("ndvi_mean", "ndvi_history_mean", "ndvi_anomaly", "ndvi_anomaly_percent"):
            out[name] = (None, 0)
    return out


VCI = [255, 0, 80, 87, 88, 250, 254, 120, 30, 200]
NDVI = [255, 200, 180, 254, 190, 230, 210, 125, 160, 240]
HISTORY = [[255, 210, 190, 200, 200, 220, 254, 130, 150, 230],
           [255, 220, 254, 205, 180, 225, 200, 120, 170, 235],
           [255, 205, 185, 254, 185, 215, 205, 254, 165, 225]]
CROP = [1, 1, 0, 1, 1, 0, 1, 1, 0, 1]


class PeriodIndicators(unittest.TestCase):
    def test_against_cell_by_cell_computation(self):
        cases = [
            # history, crop, threshold, min years, notes expected on the NDVI rows
            (HISTORY, CROP, 0.35, 3, ""),
            (HISTORY, None, 0.5, 2, ""),
            (HISTORY[:2], CROP, 0.35, 3, "history of 2 year(s); the anomaly needs at least 3"),
            ([[254] * 10] * 3, None, 0.35, 3, "no cell has a value in at least 3 history years"),
        ]
        for history, crop, threshold, min_years, note in cases:
            with self.subTest(years=len(history), crop=crop is not None, threshold=threshold):
                arrays = [np.array(a, dtype=np.uint8) for a in [VCI, NDVI] + history]
                sums = indicators.period_sums(
                    arrays[0], arrays[1], arrays[2:],
                    None if crop is None else np.array(crop, dtype=bool), threshold, min_years)
                rows = indicators.indicator_rows(sums, list(range(len(history))), min_years)
                want = oracle(VCI, NDVI, history, crop, threshold, min_years)
                self.assertEqual([r["indicator"] for r in rows], [
                    n for n, _, _, _ in indicators.INDICATORS if n in want])
                for row in rows:
                    value, cells = want[row["indicator"]]
                    self.assertEqual(row["cells"], cells, row)
                    if value is None:
                        self.assertIsNone(row["value"], row)
                        self.assertTrue(row["note"], row)
                    else:
                        self.assertAlmostEqual(row["value"], value, places=9, msg=row)
                    if row["indicator"].startswith("ndvi"):
                        self.assertEqual(row["note"], note)
                self.assertAlmostEqual(rows[0]["coverage"], 100.0 * 8 / 9)

    def test_national_sums_equal_one_pass_over_the_joined_regions(self):
        arrays = [np.array(a, dtype=np.uint8) for a in [VCI, NDVI] + HISTORY]
        crop = np.array(CROP, dtype=bool)
        halves = [indicators.period_sums(*([a[s] for a in arrays[:2]] + [[h[s] for h in
                                                                         arrays[2:]], crop[s]]))
                  for s in (slice(0, 4), slice(4, 10))]
        docs = [{"history_years": [1, 2, 3], "sums": s, "threshold": 0.35, "min_years": 3}
                for s in halves]
        whole = indicators.indicator_rows(
            indicators.period_sums(arrays[0], arrays[1], arrays[2:], crop), [1, 2, 3])
        self.assertEqual(indicators.national_doc(docs, {})["rows"], whole)


class TimeSeries(unittest.TestCase):
    def doc(self, year, period, vci_sum):
        sums = {"area_cells": 4, "vci_cells": 2, "vci_sum": vci_sum, "poor_cells": 1,
                "ndvi_cells": 0, "ndvi_sum": 0, "history_sum": 0.0}
        return {"region": "r", "name": "R", "year": year, "period": period, "start": "s",
                "end": "e", "threshold": 0.35, "min_years": 3, "history_years": [],
                "sums": sums, "rows": indicators.indicator_rows(sums, [])}

    def test_rebuilt_from_the_period_files(self):
        with tempfile.TemporaryDirectory() as root:
            paths = []
            for year, period in ((2021, 2), (2020, 1), (2020, 2)):
                paths.append(os.path.join(root, "%d_%d.json" % (year, period)))
                with open(paths[-1], "w") as handle:
                    json.dump(self.doc(year, period, 100), handle)
            out = [os.path.join(root, "series.csv"), os.path.join(root, "series.json")]
            indicators.write_series(paths, *out)
            # A rerun of one period replaces that period's file; the series is made anew.
            with open(paths[0], "w") as handle:
                json.dump(self.doc(2021, 2, 400), handle)
            indicators.write_series(paths, *out)
            with open(out[0]) as handle:
                lines = handle.read().splitlines()
            self.assertEqual(lines[0], "region,region name,year,period,start,end,indicator,"
                                       "value,cells,coverage %,note")
            self.assertEqual(lines[1:4], ["r,R,2020,1,s,e,vci_mean,0.200,2,50.00,",
                                          "r,R,2020,2,s,e,vci_mean,0.200,2,50.00,",
                                          "r,R,2021,2,s,e,vci_mean,0.800,2,50.00,"])
            self.assertEqual(len(lines), 1 + 3 * 6)
            self.assertEqual(lines[-1], "r,R,2021,2,s,e,ndvi_anomaly_percent,,0,0.00,history of "
                                        "0 year(s); the anomaly needs at least 3")
            with self.assertRaisesRegex(ValueError, "two indicator files hold r, period 2 of 2021"):
                indicators.write_series(paths + paths[:1], *out)


class CropMaskGrid(unittest.TestCase):
    def raster(self, root, name, transform, epsg, values):
        path = os.path.join(root, name)
        ds = gdal.GetDriverByName("GTiff").Create(path, values.shape[1], values.shape[0], 1,
                                                  gdal.GDT_Byte)
        ds.SetGeoTransform(transform)
        srs = osr.SpatialReference()
        srs.ImportFromEPSG(epsg)
        ds.SetProjection(srs.ExportToWkt())
        ds.GetRasterBand(1).WriteArray(values)
        ds = None
        return path

    def test_window_on_the_grid_or_refused(self):
        srs = osr.SpatialReference()
        srs.ImportFromEPSG(3857)
        grid = (1000.0, 10.0, 0.0, 5000.0, 0.0, -10.0)
        mask = np.arange(1, 13, dtype=np.uint8).reshape(3, 4) % 3
        with tempfile.TemporaryDirectory() as root:
            cases = [
                # mask transform, EPSG, expected window (2 x 3 grid) or message
                ((990.0, 10.0, 0.0, 5010.0, 0.0, -10.0), 3857, mask[1:3, 1:4] != 0),
                ((1020.0, 10.0, 0.0, 4990.0, 0.0, -10.0), 3857,
                 np.array([[0, 0, 0], [0, 0, 1]], dtype=bool)),
                ((1000.0, 20.0, 0.0, 5000.0, 0.0, -20.0), 3857, "has cells of 20 x 20, the "
                                                                "tiles' grid 10 x 10"),
                ((1005.0, 10.0, 0.0, 5000.0, 0.0, -10.0), 3857, "is not aligned on the cells"),
                (grid, 4326, "is not in the projection of the tiles' grid"),
            ]
            for i, (transform, epsg, want) in enumerate(cases):
                path = self.raster(root, "crop%d.tif" % i, transform, epsg, mask)
                with self.subTest(transform=transform, epsg=epsg):
                    if isinstance(want, str):
                        with self.assertRaisesRegex(ValueError, "the crop mask %s %s" % (
                                path, want.replace("'", "."))):
                            indicators.crop_window(path, grid, srs.ExportToWkt(), (2, 3))
                    else:
                        got = indicators.crop_window(path, grid, srs.ExportToWkt(), (2, 3))
                        self.assertEqual(got.tolist(), want.tolist())


if __name__ == "__main__":
    unittest.main()

"""Results documents made to order, for the history's tests and its speed measurement.

A document is the stand-in's export with its runs replaced: each run gets a
start time, a multi-thread score (the other figures follow it) and a clean
or disturbed verdict.
"""

import copy
import datetime
import json

REPORT_SCALE = {"score_single": 0.52, "int_single_mops": 0.33, "int_multi_mops": 0.62,
                "fp_single_mflops": 1.17, "fp_multi_mflops": 2.27, "mem_bandwidth_mbps": 3.0}


def moment(start, hours):
    return (start + datetime.timedelta(hours=hours)).strftime("%Y-%m-%dT%H:%M:%SZ")


def make_document(template, machine_id, start, first_hour, scores, clean=None, kernel=None):
    """A document whose runs start an hour apart from first_hour after start."""
    document = copy.deepcopy(template)
    if machine_id is None:
        document["machine"].pop("id", None)
    else:
        document["machine"]["id"] = machine_id
    if kernel is not None:
        document["machine"]["kernel"] = kernel
    document["started_at"] = moment(start, first_hour)
    model = template["runs"][0]
    runs = []
    for index, score in enumerate(scores):
        run = copy.deepcopy(model)
        run["started_at"] = moment(start, first_hour + index)
        run["ended_at"] = run["started_at"]
        run["cancelled"] = False
        run["report"]["score_multi"] = round(score)
        for key, scale in REPORT_SCALE.items():
            run["report"][key] = round(score * scale)
        is_clean = True if clean is None else clean[index]
        run["verdict"] = {"clean": is_clean, "reasons": [] if is_clean else ["steal 6% in phase 4"],
                          "not_reported": []}
        runs.append(run)
    document["runs"] = runs
    document["clean_runs"] = sum(1 for run in runs if run["verdict"]["clean"])
    document["disturbed_runs"] = len(runs) - document["clean_runs"]
    return document


def write(document, path):
    with open(path, "w", encoding="utf-8") as file:
        json.dump(document, file)

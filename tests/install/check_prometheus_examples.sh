#!/bin/sh
# The fleet example's Prometheus files, checked by Prometheus's own tool: the configuration and
# the alert rule are valid, and the rule fires for a lossy path after five minutes only.
set -eu
cd "$1"
promtool check config prometheus.yml
promtool check rules hoplark-alerts.yml
promtool test rules hoplark-alerts.test.yml

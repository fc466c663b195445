# Reads a figures file with the Prometheus client's own parser and prints what it understood:
# each family's name and type, then its samples with their labels and values.
import sys

from prometheus_client.parser import text_string_to_metric_families

with open(sys.argv[1], encoding="utf-8") as file:
    text = file.read()
for family in text_string_to_metric_families(text):
    print("# %s %s" % (family.name, family.type))
    for sample in family.samples:
        labels = ",".join('%s="%s"' % item for item in sorted(sample.labels.items()))
        print("%s{%s} %r" % (sample.name, labels, sample.value))

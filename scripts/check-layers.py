#!/usr/bin/env python3
"""Fails when a source file includes the header of a layer above its own.

Every include of the program's own headers names its folder under src/
("data/store/RecordSource.h"), so the folder of each side is known from the
include line alone. LAYERS lists, from the bottom up, each folder and the
folders it may use besides itself; a folder under src/ that is not listed is
an error too, so that a new folder is placed in the table when it is added.
"""
import os
import re
import sys

# folder: the folders below it that it may include (its own is always allowed)
LAYERS = {
    'platform': [],
    'platform/files': ['platform'],
    'platform/gui': ['platform', 'platform/files'],
    'data/vocabulary': ['platform'],
    'data/sqlite/search': ['platform', 'platform/files', 'data/vocabulary'],
    'data/sqlite': ['platform', 'platform/files', 'data/vocabulary', 'data/sqlite/search'],
    'data/postgres': ['platform', 'platform/files', 'data/vocabulary'],
    'data/store': ['platform', 'platform/files', 'data/vocabulary', 'data/sqlite/search', 'data/sqlite', 'data/postgres'],
    'data/folder': ['platform', 'platform/files', 'data/vocabulary', 'data/store'],
    'report': ['platform', 'platform/files', 'data/vocabulary', 'data/store', 'data/folder'],
}
# The widgets over the data layer: the bound controls, the report's control and preview, and
# the base of the register windows that uses both.
FORMS_BELOW = ['platform', 'platform/files', 'platform/gui', 'data/vocabulary', 'data/store', 'data/folder', 'report']
LAYERS['forms/controls'] = FORMS_BELOW
LAYERS['forms/report'] = FORMS_BELOW
LAYERS['forms/window'] = FORMS_BELOW + ['forms/controls', 'forms/report']
FORMS = ['forms/controls', 'forms/report', 'forms/window']
# The reader of an old office's Access file and folder, into the program's database (a
# SQLite file, whose engine's error texts it tells).
LAYERS['legacy'] = ['platform', 'platform/files', 'data/vocabulary', 'data/sqlite', 'data/store', 'data/folder']
# The windows; `matching` also holds the matching rule below its window, which the settings
# window's tab of tolerances uses.
WINDOWS = ['properties', 'requests', 'leads', 'diary', 'matching', 'settings']
for window in WINDOWS:
    LAYERS[window] = FORMS_BELOW + ['legacy'] + FORMS
LAYERS['settings'].append('matching')
LAYERS['app'] = sorted(set(LAYERS) - {'app'})

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def main(src):
    faults = []
    for root, _, files in os.walk(src):
        folder = os.path.relpath(root, src)
        if not any(f.endswith(('.h', '.cpp')) for f in files):
            continue
        if folder not in LAYERS:
            faults.append(f'{folder}/: a folder with no place in the layers (scripts/check-layers.py)')
            continue
        allowed = set(LAYERS[folder]) | {folder}
        for name in sorted(files):
            if not name.endswith(('.h', '.cpp')):
                continue
            path = os.path.join(root, name)
            with open(path, encoding='utf-8') as text:
                for included in INCLUDE.findall(text.read()):
                    if included.startswith('ui_') or included.endswith('.moc'):
                        continue
                    if '/' not in included:
                        faults.append(f'{folder}/{name} includes "{included}" without its folder under src/')
                        continue
                    target = os.path.dirname(included)
                    if target in LAYERS and target not in allowed:
                        faults.append(f'{folder}/{name} includes "{included}": {folder} may not use {target}')
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'src')))

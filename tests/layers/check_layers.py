#!/usr/bin/env python3
"""Fails on any include in src/ that points up the layers or sideways.

Usage: check_layers.py SOURCE_ROOT

The layers and what each builds on are read from layers.txt beside this
script; the library links in CMakeLists.txt must say the same.
"""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
LIBRARY = re.compile(r'velkin_library\(\s*velkin_(\w+)(.*?)\)', re.S)


def read_layers(path):
    """{layer: (folders, direct dependencies)} in file order."""
    layers = {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.split('#', 1)[0].strip()
            if not line:
                continue
            m = re.fullmatch(r'(\w+)\s*=\s*([^:]*):(.*)', line)
            if not m:
                sys.exit(f'{path}:{number}: expected "name = folders : layers", got {line!r}')
            name, folders, deps = m.group(1), m.group(2).split(), m.group(3).split()
            for dep in deps:
                if dep not in layers:
                    sys.exit(f'{path}:{number}: {name} builds on {dep}, which is not a layer below it')
            layers[name] = (folders, deps)
    return layers


def reachable(layers):
    """Each layer with every layer it may include, itself included."""
    closure = {}
    for name, (_, deps) in layers.items():  # file order: dependencies come first
        closure[name] = {name}.union(*(closure[d] for d in deps))
    return closure


def layer_of(folder_of, path):
    """The layer of a path relative to src/ ("." for a file directly in src/), or None."""
    return folder_of.get(os.path.dirname(path) or '.')


def check_includes(src, layers):
    folder_of = {folder: name for name, (folders, _) in layers.items() for folder in folders}
    allowed = reachable(layers)
    faults = []
    for root, _, files in os.walk(src):
        for file in sorted(files):
            path = os.path.relpath(os.path.join(root, file), src)
            if not file.endswith(('.h', '.cpp')):
                continue
            own = layer_of(folder_of, path)
            if own is None:
                faults.append(f'src/{path}: its folder belongs to no layer in layers.txt')
                continue
            with open(os.path.join(src, path), encoding='utf-8') as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m or '/' not in m.group(1):
                        continue
                    target = layer_of(folder_of, m.group(1))
                    if target is None:
                        faults.append(f'src/{path}:{number}: "{m.group(1)}" is in no layer')
                    elif target not in allowed[own]:
                        faults.append(f'src/{path}:{number}: {own} may not include {target} ("{m.group(1)}")')
    return faults


def check_links(cmake, layers):
    """The internal links of every velkin_library call equal the layer's dependencies."""
    with open(cmake, encoding='utf-8') as f:
        text = f.read()
    faults = []
    seen = set()
    for m in LIBRARY.finditer(text):
        name, body = m.group(1), m.group(2)
        seen.add(name)
        if name not in layers:
            faults.append(f'CMakeLists.txt: library velkin_{name} is not a layer in layers.txt')
            continue
        links = body.split('LINKS', 1)[1].split() if 'LINKS' in body else []
        linked = {l[len('velkin_'):] for l in links if l.startswith('velkin_')}
        if linked != set(layers[name][1]):
            faults.append(f'CMakeLists.txt: velkin_{name} links {sorted(linked)}, '
                          f'layers.txt says {sorted(layers[name][1])}')
    for name in layers:
        if name != 'main' and name not in seen:
            faults.append(f'CMakeLists.txt: no library for layer {name}')
    return faults


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    layers = read_layers(os.path.join(HERE, 'layers.txt'))
    faults = check_includes(os.path.join(root, 'src'), layers) + check_links(os.path.join(root, 'CMakeLists.txt'), layers)
    for fault in faults:
        print(fault)
    if faults:
        print(f'{len(faults)} include(s) or link(s) against the layers')
        return 1
    print(f'{len(layers)} layers, every include and link points down')
    return 0


if __name__ == '__main__':
    sys.exit(main())

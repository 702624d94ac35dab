#!/usr/bin/python3
"""Checks Home Assistant MQTT discovery configs as Home Assistant reads them.

Reads one JSON object on stdin:
  {"prefix": "homeassistant", "base": "tqx5r",
   "configs": {"<config topic>": "<payload>", ...},
   "states": ["<a BASE/state message>", ...]}
and prints one JSON object:
  {"problems": [...], "rendered": {"<unique_id>": [<value per state>]},
   "commands": {"<option>": "<command_template result>"}}

The keys each component takes, the ones it requires, the config topic's
shape and the templates follow Home Assistant's MQTT integration; templates
run in Jinja2's immutable sandbox, as Home Assistant runs them, with value
and value_json set from the message.
"""

import json
import re
import sys

from jinja2.sandbox import ImmutableSandboxedEnvironment

COMMON = {
    'name', 'unique_id', 'object_id', 'default_entity_id', 'state_topic', 'value_template', 'availability_topic',
    'payload_available', 'payload_not_available', 'availability', 'availability_mode', 'availability_template',
    'device', 'origin', 'icon', 'entity_category', 'enabled_by_default', 'qos', 'json_attributes_topic',
    'json_attributes_template', 'entity_picture',
}
COMPONENTS = {
    'select': {'required': {'command_topic', 'options'},
               'allowed': {'command_template', 'optimistic', 'retain', 'encoding'}},
    'binary_sensor': {'required': {'state_topic'},
                      'allowed': {'payload_on', 'payload_off', 'device_class', 'expire_after', 'force_update',
                                  'off_delay', 'encoding'}},
    'sensor': {'required': {'state_topic'},
               'allowed': {'unit_of_measurement', 'device_class', 'state_class', 'expire_after', 'force_update',
                           'suggested_display_precision', 'last_reset_value_template', 'encoding', 'options'}},
}
BINARY_DEVICE_CLASSES = {
    'battery', 'battery_charging', 'carbon_monoxide', 'cold', 'connectivity', 'door', 'garage_door', 'gas', 'heat',
    'light', 'lock', 'moisture', 'motion', 'moving', 'occupancy', 'opening', 'plug', 'power', 'presence',
    'problem', 'running', 'safety', 'smoke', 'sound', 'tamper', 'update', 'vibration', 'window',
}
DEVICE_KEYS = {'identifiers', 'connections', 'name', 'manufacturer', 'model', 'model_id', 'sw_version',
               'hw_version', 'serial_number', 'suggested_area', 'via_device', 'configuration_url'}
TOPIC = re.compile(r'^(?P<component>[^/]+)/(?:(?P<node>[a-zA-Z0-9_-]+)/)?(?P<object>[a-zA-Z0-9_-]+)/config$')
NONE = 'None'
# States Home Assistant gives a meaning of its own: an option named so would
# read as no option, or as an entity that is unknown or unavailable.
RESERVED_STATES = {'none', 'unknown', 'unavailable'}


def render(env, template, **values):
    return env.from_string(template).render(**values).strip()


def main():
    job = json.load(sys.stdin)
    env = ImmutableSandboxedEnvironment()
    problems, rendered, commands = [], {}, {}
    unique_ids, devices = set(), []
    base = job['base']
    existing = {f'{base}/state', f'{base}/online'}

    for topic, text in job['configs'].items():
        where = topic
        prefix = job['prefix'] + '/'
        match = TOPIC.match(topic[len(prefix):]) if topic.startswith(prefix) else None
        if not match:
            problems.append(f'{where}: not a discovery config topic')
            continue
        component = match['component']
        if component not in COMPONENTS:
            problems.append(f'{where}: unexpected component {component}')
            continue
        try:
            config = json.loads(text)
        except ValueError as error:
            problems.append(f'{where}: not JSON: {error}')
            continue
        if not isinstance(config, dict):
            problems.append(f'{where}: not a JSON object')
            continue
        schema = COMPONENTS[component]
        for key in schema['required'] - config.keys():
            problems.append(f'{where}: {key} missing')
        for key in config.keys() - schema['required'] - schema['allowed'] - COMMON:
            problems.append(f'{where}: {key} is not a {component} option')
        for key in ('name', 'unique_id', 'state_topic', 'availability_topic', 'payload_available',
                    'payload_not_available', 'value_template', 'command_topic', 'command_template'):
            if key in config and not isinstance(config[key], str):
                problems.append(f'{where}: {key} is not a string')
        unique_id = config.get('unique_id')
        if not unique_id or unique_id in unique_ids:
            problems.append(f'{where}: unique_id missing or shared')
        unique_ids.add(unique_id)
        for key in ('state_topic', 'availability_topic'):
            if config.get(key) not in existing:
                problems.append(f'{where}: {key} {config.get(key)!r} is not a topic the panel publishes')
        if config.get('payload_available') != 'true' or config.get('payload_not_available') != 'false':
            problems.append(f'{where}: availability payloads do not match BASE/online')
        if config.get('entity_category', 'diagnostic') not in ('config', 'diagnostic'):
            problems.append(f'{where}: bad entity_category')
        device = config.get('device', {})
        if not isinstance(device, dict) or not device.get('identifiers') or device.keys() - DEVICE_KEYS:
            problems.append(f'{where}: bad device {device!r}')
        devices.append(json.dumps(device.get('identifiers'), sort_keys=True))

        # Each state message through the value template.
        values = []
        for state in job['states']:
            try:
                value = render(env, config.get('value_template', '{{ value }}'), value=state,
                               value_json=json.loads(state))
            except Exception as error:
                problems.append(f'{where}: value_template fails: {error}')
                continue
            values.append(value)
            if component == 'select' and value != NONE and value not in config.get('options', []):
                problems.append(f'{where}: {value!r} is not one of the options')
            if component == 'binary_sensor' and value not in (config.get('payload_on', 'ON'),
                                                              config.get('payload_off', 'OFF')):
                problems.append(f'{where}: {value!r} is neither payload_on nor payload_off')
        rendered[unique_id] = values

        if component == 'select':
            options = config.get('options')
            if not isinstance(options, list) or not options or len(set(options)) != len(options) \
                    or not all(isinstance(o, str) and o for o in options):
                problems.append(f'{where}: options must be distinct non-empty strings')
                continue
            for option in options:
                if option.strip().lower() in RESERVED_STATES:
                    problems.append(f'{where}: option {option!r} reads as a state of Home Assistant')
            if config.get('command_topic') != f'{base}/set':
                problems.append(f'{where}: command_topic is not {base}/set')
            for option in options:
                try:
                    commands[option] = render(env, config.get('command_template', '{{ value }}'), value=option)
                except Exception as error:
                    problems.append(f'{where}: command_template fails for {option!r}: {error}')

    if len(set(devices)) > 1:
        problems.append('the entities name more than one device')
    json.dump({'problems': problems, 'rendered': rendered, 'commands': commands}, sys.stdout)


if __name__ == '__main__':
    main()

// SPDX-License-Identifier: GPL-2.0
/*
 * The phone's port driver, /dev/inca-port: one request per change of one
 * port line (direction, level, open-drain) and a request that reads a line.
 *
 * The LCD controller hanging on the lines is not modelled here: the driver
 * queues every request it accepts, with the time it was made, for the agent
 * in userspace that runs the simulator's models of the bus and the
 * controller (/dev/inca-port-lines, phone_devices.h). A request that changes
 * a line returns at once, so the ~1,400 requests of a screen update never
 * wait for the agent; the agent reads them in batches, woken when the queue
 * is half full or a tick after the first request it has not seen. A read
 * request waits until the agent has applied everything queued before it and
 * answered with the level the line reads: the controller's status comes from
 * the model.
 */
#include <linux/fs.h>
#include <linux/jiffies.h>
#include <linux/kfifo.h>
#include <linux/ktime.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/poll.h>
#include <linux/timer.h>
#include <linux/uaccess.h>
#include <linux/wait.h>

#include "phone_devices.h"
#include "phone_wire.h"

/* The program's request record. */
struct port_pin_request {
	s32 port;
	s32 pin;
	s32 value;
};

/* How long a read request waits for the agent's answer. */
#define ANSWER_TIMEOUT (5 * HZ)

static DEFINE_KFIFO(queue, struct port_line_request, 4096);
static DEFINE_MUTEX(request_lock); /* one program request at a time */
static DECLARE_WAIT_QUEUE_HEAD(agent_wait); /* the agent: requests queued */
static DECLARE_WAIT_QUEUE_HEAD(space_wait); /* the program: room in the queue */
static DECLARE_WAIT_QUEUE_HEAD(answer_wait); /* the program: a read answered */
static struct timer_list batch_timer;
static bool agent_attached;
static u32 sequence;
static u32 answered;
static s32 answer_level;

static void batch_timer_fn(struct timer_list *unused)
{
	wake_up_interruptible(&agent_wait);
}

static bool known_request(unsigned int cmd)
{
	return cmd == PHONE_PORT_OPEN_DRAIN || cmd == PHONE_PORT_DIRECTION ||
	       cmd == PHONE_PORT_WRITE || cmd == PHONE_PORT_READ;
}

static long queue_request(unsigned int cmd, struct port_pin_request *record)
{
	struct port_line_request r = {
		.request = cmd,
		.port = record->port,
		.pin = record->pin,
		.value = record->value,
	};
	long left;

	if (wait_event_interruptible(space_wait, !kfifo_is_full(&queue) || !agent_attached))
		return -ERESTARTSYS;
	if (!agent_attached)
		return -ENODEV;
	r.time_ns = ktime_get_ns();
	r.sequence = ++sequence;
	kfifo_put(&queue, r);

	if (cmd != PHONE_PORT_READ) {
		if (kfifo_len(&queue) >= kfifo_size(&queue) / 2)
			wake_up_interruptible(&agent_wait);
		else if (!timer_pending(&batch_timer))
			mod_timer(&batch_timer, jiffies + 1);
		return 0;
	}
	wake_up_interruptible(&agent_wait);
	left = wait_event_interruptible_timeout(answer_wait,
						answered == r.sequence || !agent_attached,
						ANSWER_TIMEOUT);
	if (left < 0)
		return -ERESTARTSYS;
	if (!agent_attached)
		return -ENODEV;
	if (left == 0)
		return -ETIMEDOUT;
	smp_rmb(); /* the level written before the sequence */
	record->value = answer_level;
	return 0;
}

static long port_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	struct port_pin_request record;
	void __user *user = (void __user *)arg;
	long ret;

	if (!known_request(cmd))
		return -ENOTTY;
	if (copy_from_user(&record, user, sizeof(record)))
		return -EFAULT;
	if (record.port < 0 || record.port >= PHONE_PORT_COUNT || record.pin < 0 ||
	    record.pin >= PHONE_PINS_PER_PORT)
		return -EINVAL;

	if (mutex_lock_interruptible(&request_lock))
		return -ERESTARTSYS;
	ret = queue_request(cmd, &record);
	mutex_unlock(&request_lock);
	if (ret == 0 && cmd == PHONE_PORT_READ && copy_to_user(user, &record, sizeof(record)))
		ret = -EFAULT;
	return ret;
}

static const struct file_operations port_fops = {
	.owner = THIS_MODULE,
	.unlocked_ioctl = port_ioctl,
};

static struct miscdevice port_device = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "inca-port",
	.fops = &port_fops,
	.mode = 0666,
};

/* The agent's end. */

static int lines_open(struct inode *inode, struct file *file)
{
	int ret = 0;

	mutex_lock(&request_lock);
	if (agent_attached) {
		ret = -EBUSY;
	} else {
		kfifo_reset(&queue);
		answered = sequence;
		agent_attached = true;
	}
	mutex_unlock(&request_lock);
	return ret;
}

static int lines_release(struct inode *inode, struct file *file)
{
	agent_attached = false;
	wake_up_interruptible(&space_wait);
	wake_up_interruptible(&answer_wait);
	return 0;
}

static ssize_t lines_read(struct file *file, char __user *buf, size_t count, loff_t *pos)
{
	unsigned int copied;
	int ret;

	if (count < sizeof(struct port_line_request))
		return -EINVAL;
	if (kfifo_is_empty(&queue)) {
		if (file->f_flags & O_NONBLOCK)
			return -EAGAIN;
		if (wait_event_interruptible(agent_wait, !kfifo_is_empty(&queue)))
			return -ERESTARTSYS;
	}
	ret = kfifo_to_user(&queue, buf, count, &copied);
	wake_up_interruptible(&space_wait);
	return ret ? ret : copied;
}

static ssize_t lines_write(struct file *file, const char __user *buf, size_t count,
			   loff_t *pos)
{
	struct port_line_answer answer;

	if (count != sizeof(answer))
		return -EINVAL;
	if (copy_from_user(&answer, buf, sizeof(answer)))
		return -EFAULT;
	answer_level = answer.level;
	smp_wmb();
	answered = answer.sequence;
	wake_up_interruptible(&answer_wait);
	return count;
}

static __poll_t lines_poll(struct file *file, poll_table *wait)
{
	poll_wait(file, &agent_wait, wait);
	return kfifo_is_empty(&queue) ? 0 : EPOLLIN | EPOLLRDNORM;
}

static const struct file_operations lines_fops = {
	.owner = THIS_MODULE,
	.open = lines_open,
	.release = lines_release,
	.read = lines_read,
	.write = lines_write,
	.poll = lines_poll,
	.llseek = noop_llseek,
};

static struct miscdevice lines_device = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "inca-port-lines",
	.fops = &lines_fops,
	.mode = 0600,
};

static int __init inca_port_init(void)
{
	int ret;

	timer_setup(&batch_timer, batch_timer_fn, 0);
	ret = misc_register(&lines_device);
	if (ret)
		return ret;
	ret = misc_register(&port_device);
	if (ret)
		misc_deregister(&lines_device);
	return ret;
}

static void __exit inca_port_exit(void)
{
	misc_deregister(&port_device);
	misc_deregister(&lines_device);
	del_timer_sync(&batch_timer);
}

module_init(inca_port_init);
module_exit(inca_port_exit);
MODULE_DESCRIPTION("The phone's port driver, its LCD's controller modelled in userspace");
MODULE_LICENSE("GPL");
